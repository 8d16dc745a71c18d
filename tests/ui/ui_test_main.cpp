// Entry point of the window tests: listing the tests needs no display (CTest discovery);
// running them starts wxWidgets on the X display and turns its assertions into failures
// instead of modal dialogs.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
  ADD_FAILURE_AT(file.utf8_str().data(), line)
      << "wxWidgets assertion in " << func.utf8_str().data() << ": " << cond.utf8_str().data()
      << " " << msg.utf8_str().data();
}

bool OnlyListing(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--gtest_list_tests") {
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // InitGoogleTest takes its own flags out of argv: look before it does.
  const bool listing = OnlyListing(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  if (listing) {
    return RUN_ALL_TESTS();
  }
  if (std::getenv("DISPLAY") == nullptr) {
    std::fprintf(stderr,
                 "These tests need an X display. Run them through `make test`, or under\n"
                 "  xvfb-run -a -s \"-screen 0 1280x800x24 -nolisten tcp\" ctest ...\n");
    return 1;
  }
  wxApp::SetInstance(new wxApp);
  if (!wxEntryStart(argc, argv)) {
    std::fprintf(stderr, "wxWidgets could not start on display %s\n", std::getenv("DISPLAY"));
    return 1;
  }
  wxSetAssertHandler(FailOnAssert);
  const int result = RUN_ALL_TESTS();
  wxEntryCleanup();
  return result;
}
