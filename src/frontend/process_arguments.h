// The process's command line and standard streams as every front end wants them: arguments as
// UTF-8 text, and output bytes passed on unchanged. On Linux that is how they come. Windows
// hands a narrow main() its arguments in the ANSI code page (a path outside it is lost) and
// turns "\n" into "\r\n" on the way out, which would make the JSON and text of the Windows
// programs differ from the Linux ones.
#pragma once

#include <string>
#include <vector>

namespace korvan::frontend {

// argv[0] and the arguments, as UTF-8.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Pointers into `arguments` for an argc/argv interface; valid while `arguments` lives.
std::vector<char*> ArgvOf(std::vector<std::string>& arguments);

// Standard output and error write their bytes as given (no line-end translation), and a Windows
// console shows them as UTF-8.
void PrepareStandardStreams();

}  // namespace korvan::frontend
