// The main window without a device, over which the dialog tests run a settings form modally, as
// the window runs it, with the test's script acting inside the form.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

#include "emulator/simulated_disk_host.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/ui/modal_dialog_script.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main_dialog.h"

namespace korvan::testing {

class FormWindow {
 public:
  explicit FormWindow(const char* tag) : folder(tag) {}
  ~FormWindow() {
    window_.reset();
    PumpEvents(std::chrono::milliseconds(10));
  }

  // `run` (RunParameterForm or RunSchemaForm) on `form`, with `user` acting on the `Dialog` it
  // shows. Returns the run's answer.
  template <typename Dialog, typename Form>
  bool Run(bool (ui::CDahlia_UpdaterDlg::*run)(Form&), Form& form,
           const std::function<void(Dialog&)>& user) {
    if (!window_) {
      ui::MainDialogOptions options;
      options.programFolder = folder / "program";
      std::filesystem::create_directories(options.programFolder);
      window_ = std::make_unique<ui::CDahlia_UpdaterDlg>(host_, std::move(options));
      window_->Show();
      PumpEvents();
    }
    OnModalDialog<Dialog> script(user);
    const bool ok = (window_.get()->*run)(form);
    EXPECT_TRUE(script.ran()) << "the form was not shown modal";
    return ok;
  }

  ScopedTempDir folder;

 private:
  emu::SimulatedDiskHost host_;  // no device: the window only searches
  std::unique_ptr<ui::CDahlia_UpdaterDlg> window_;
};

}  // namespace korvan::testing
