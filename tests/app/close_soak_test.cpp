// The window's end at every moment of the work that crosses threads: closing the window, and the
// detector's removal (which closes it too), while the detection copies the device, while an
// update writes, while a download runs, while a settings run writes. Each scenario is repeated
// $KORVAN_SOAK_REPEAT times (3 by default; `make soak` runs 20 under ThreadSanitizer), the end
// coming a little later each time, so the threads meet at many different points.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/control_ids.h"
#include "app/device_removal.h"
#include "settings/parameter_form.h"
#include "tests/app/window_run.h"
#include "tests/support/served_tree.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;
using testing::Preset;
using testing::WindowRun;

constexpr uint8_t kType = 6;

enum class Work { Detection, Update, Download, Settings };
enum class Ending { Close, Removal };

int Repeats() {
  const char* text = std::getenv("KORVAN_SOAK_REPEAT");
  const int repeats = text != nullptr ? std::atoi(text) : 0;
  return repeats > 0 ? repeats : 3;
}

const char* Name(Work work) {
  switch (work) {
    case Work::Detection:
      return "detection";
    case Work::Update:
      return "update";
    case Work::Download:
      return "download";
    case Work::Settings:
      return "settings run";
  }
  return "";
}

// Starts `work` on a window over a slow device of kType.
void Begin(Work work, WindowRun& run, emu::SimulatedDevice& device) {
  if (work == Work::Detection) {
    device.SetCommandDelay(20us);
    run.main.OnInitDialog();
    return;
  }
  run.OpenUntilReady();
  // A settings run is two units; slower commands spread it over the rounds' moments.
  device.SetCommandDelay(work == Work::Settings ? 1ms : 20us);
  switch (work) {
    case Work::Update:
      run.ChooseNewerFile(kType);
      run.main.OnUpload();
      break;
    case Work::Download:
      run.main.OnPackageCountry(ids::kRussiaRadio);
      run.main.OnDownload();
      break;
    case Work::Settings:
      run.view.QueueFormAnswer([](ParameterForm& form) {
        form.Defaults();
        form.Select(1, 1);  // X band off: the form has changed something
        return true;
      });
      run.main.OnMenuSettings();
      break;
    case Work::Detection:
      break;
  }
}

TEST(CloseSoakTest, EndingAtAnyMomentStopsEveryThreadAndSendsNothingMore) {
  testing::ServedTree tree({static_cast<int8_t>(kType)});
  const int repeats = Repeats();
  for (const Work work : {Work::Detection, Work::Update, Work::Download, Work::Settings}) {
    for (const Ending ending : {Ending::Close, Ending::Removal}) {
      for (int round = 0; round < repeats; ++round) {
        SCOPED_TRACE(std::string(Name(work)) +
                     (ending == Ending::Close ? ", closed" : ", removed") + ", round " +
                     std::to_string(round));
        WindowRun run(1ms, tree.Url());
        auto device = run.Plug(Preset(kType));
        Begin(work, run, *device);
        // The window thread runs its tasks meanwhile, as the dialog's would.
        run.window.RunUntil([] { return false; }, std::chrono::milliseconds(round));

        if (ending == Ending::Removal) {
          device->Disconnect();
          run.host.Detach(testing::kDrive);
          EXPECT_TRUE(RemovalEndsProgram(
              DeviceChangeEvent{DeviceChange::RemoveComplete, true, true}, run.host));
        }
        run.window.Close();
        EXPECT_TRUE(run.main.OnClose()) << "every worker ended within the grace period";
        const uint64_t atClose = device->CommandCount();
        std::this_thread::sleep_for(2ms);
        EXPECT_EQ(device->CommandCount(), atClose) << "nothing is sent after the close";
      }
    }
  }
}

}  // namespace
}  // namespace korvan
