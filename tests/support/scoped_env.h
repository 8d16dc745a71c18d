// An environment variable set (or removed) for one scope and restored at its end, on every
// platform (setenv/unsetenv are POSIX; Windows has _putenv_s).
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace korvan::testing {

inline void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
  // An empty value removes the variable on Windows; no test here needs an empty one.
  _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
  if (value) {
    setenv(name.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name.c_str());
  }
#endif
}

class ScopedEnv {
 public:
  // nullopt: the variable is removed for the scope.
  ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) {
      saved_ = old;
    }
    SetEnvironment(name_, value);
  }
  ~ScopedEnv() { SetEnvironment(name_, saved_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

}  // namespace korvan::testing
