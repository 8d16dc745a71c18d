// window-probe: looks at a running window from outside, as a person would see it, for the checks
// of the Windows window under wine (scripts/windows-window-check):
//   window-probe wait-text TITLE TEXT SECONDS   a control of the window TITLE shows TEXT
//   window-probe still-open TITLE SECONDS        the window is still there after SECONDS
//   window-probe wait-gone TITLE SECONDS         the window has closed
//   window-probe volume-removed TITLE            sends the window what Windows sends to every
//                                                window when a storage volume is removed
// Exit status 0 when the condition holds, 1 when it does not, 2 for bad arguments.
// clang-format off
#include <windows.h>
#include <dbt.h>
// clang-format on

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <string>

namespace {

struct Search {
  const wchar_t* text;
  bool found = false;
};

BOOL CALLBACK LookAtControl(HWND control, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  wchar_t text[512] = {};
  ::GetWindowTextW(control, text, static_cast<int>(std::size(text)));
  if (std::wcsstr(text, search->text) != nullptr) {
    search->found = true;
    return FALSE;
  }
  return TRUE;
}

bool ShowsText(const wchar_t* title, const wchar_t* text) {
  const HWND window = ::FindWindowW(nullptr, title);
  if (window == nullptr) {
    return false;
  }
  Search search{text};
  ::EnumChildWindows(window, LookAtControl, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

template <typename Condition>
bool Within(double seconds, Condition condition) {
  const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  for (;;) {
    if (condition()) {
      return true;
    }
    if (::GetTickCount64() >= end) {
      return false;
    }
    ::Sleep(100);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv);  // the wide entry point (-municode)

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"wait-text" && argc == 5) {
    return Within(_wtof(argv[4]), [&] { return ShowsText(argv[2], argv[3]); }) ? 0 : 1;
  }
  if (command == L"still-open" && argc == 4) {
    ::Sleep(static_cast<DWORD>(_wtof(argv[3]) * 1000));
    return ::FindWindowW(nullptr, argv[2]) != nullptr ? 0 : 1;
  }
  if (command == L"wait-gone" && argc == 4) {
    return Within(_wtof(argv[3]), [&] { return ::FindWindowW(nullptr, argv[2]) == nullptr; }) ? 0
                                                                                              : 1;
  }
  if (command == L"volume-removed" && argc == 3) {
    const HWND window = ::FindWindowW(nullptr, argv[2]);
    if (window == nullptr) {
      return 1;
    }
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof(volume);
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << ('E' - 'A');
    DWORD_PTR answer = 0;
    return ::SendMessageTimeoutW(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                                 reinterpret_cast<LPARAM>(&volume), SMTO_ABORTIFHUNG, 5000,
                                 &answer) != 0
               ? 0
               : 1;
  }
  std::fputws(L"usage: window-probe wait-text|still-open|wait-gone|volume-removed TITLE ...\n",
              stderr);
  return 2;
}
