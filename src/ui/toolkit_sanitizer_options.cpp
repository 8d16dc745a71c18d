// Sanitizer settings for programs that run the toolkit, linked in sanitizer builds only.
// GTK, glib, pango and fontconfig are not instrumented: ThreadSanitizer cannot see their own
// locking, so it is told to leave what they do alone and check only our code (a race between
// a worker and a task posted to the window is still reported: the tasks run our frames). Their
// one-time allocations live until the process ends and are not leaks of ours.

extern "C" const char* __tsan_default_options();
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __tsan_default_options() {
  return "ignore_noninstrumented_modules=1";
}

extern "C" const char* __lsan_default_suppressions() {
  return "leak:libgtk-3\n"
         "leak:libgdk-3\n"
         "leak:libglib-2.0\n"
         "leak:libgobject-2.0\n"
         "leak:libgio-2.0\n"
         "leak:libfontconfig\n"
         "leak:libpango\n"
         "leak:libcairo\n"
         "leak:libX11\n"
         "leak:libatk\n"
         "leak:libdbus-1\n";
}
