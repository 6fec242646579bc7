// The application run in-process on a simulated device, answered from a queue.
#pragma once

#include <fstream>

#include "app/update_app.h"
#include "platform/sim/sim_debug_log.h"
#include "resources/resources.h"
#include "tests/e2e/device_fixture.h"
#include "tests/support/recording_frontend.h"
#include "tools/devsim/report.h"

namespace e2e {

class AppTest : public DeviceTest {
 protected:
  // Runs the application once; returns what was shown.
  std::vector<std::wstring> RunApp(std::deque<std::wstring> answers, std::wstring fallback = L"") {
    frontend_ = std::make_unique<fakes::RecordingFrontend>(std::move(answers));
    frontend_->fallback = std::move(fallback);
    const platform::ui::UiContext ui{*frontend_, resources::AppResources()};
    app::Services services{device_->files(),   device_->registry(), device_->events(),
                           device_->devices(), device_->kernel(),   device_->log()};
    app::CUpdateApp(ui, services).InitInstance();
    return frontend_->shown;
  }

  std::vector<std::wstring> Log() const {
    std::vector<std::wstring> lines;
    EXPECT_TRUE(platform::sim::ReadDebugLog(device_->paths().debugLog(), lines));
    return lines;
  }

  void PutDeviceFile(const std::string& path, const std::vector<platform::BYTE>& bytes) const {
    std::filesystem::create_directories((dir_ / "fs" / path).parent_path());
    std::ofstream(dir_ / "fs" / path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }

  nlohmann::json State() const { return tools::DescribeDevice(*device_); }

  std::unique_ptr<fakes::RecordingFrontend> frontend_;
};

}  // namespace e2e
