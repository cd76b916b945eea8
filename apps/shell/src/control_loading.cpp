// SPDX-License-Identifier: MIT
#include "shell/control_loading.h"

#include <dlfcn.h>
#include <fontconfig/fontconfig.h>

#include <filesystem>
#include <iostream>
#include <optional>
#include <system_error>

#include "bcpctrl/control_module.h"

namespace shell {
namespace {

void reportUnloaded(const char* why) {
    std::cerr << "label-printer control: " << (why != nullptr ? why : "cannot be loaded") << std::endl;
}

// Beside the program, as the build tree and the package both lay them out; nothing when
// the program cannot find its own file (a path from the working directory could load
// somebody else's library).
std::optional<std::filesystem::path> controlModulePath() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !program.is_absolute()) return std::nullopt;
    return program.parent_path() / MOKUREN_CONTROL_MODULE;
}

std::unique_ptr<frame::BcpControl> loadControl(const std::optional<JobToPrepare>& job) {
    const auto path = controlModulePath();
    // Never closed: the control's threads and objects live until the program exits.
    void* const library = path ? ::dlopen(path->c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
    void* const create = library != nullptr ? ::dlsym(library, bcpctrl::module::kCreateName) : nullptr;
    const char* const why = path ? ::dlerror() : "the program's own path is unknown (/proc/self/exe)";
    // Qt and the control's renderer read the same font configuration, Qt for the window's
    // texts. Read here, it is ready for both before the window is shown: two threads that
    // read it at the same time would each read all of it.
    FcInit();
    if (create == nullptr) {
        reportUnloaded(why);  // dlerror() names the file
        return nullptr;
    }
    const auto createControl = reinterpret_cast<bcpctrl::module::Create>(create);
    return std::unique_ptr<frame::BcpControl>(job ? createControl(job->formatName.c_str(), job->portSetting.c_str())
                                                  : createControl(nullptr, nullptr));
}

}  // namespace

// Without a thread to spare, the control is loaded when taken.
ControlLoading::ControlLoading(std::optional<JobToPrepare> job) {
    auto load = [job = std::move(job)] { return loadControl(job); };
    try {
        loading_ = std::async(std::launch::async, load);
    } catch (const std::system_error&) {
        loading_ = std::async(std::launch::deferred, load);
    }
}

std::unique_ptr<frame::BcpControl> ControlLoading::take() {
    try {
        return loading_.get();
    } catch (const std::exception& failure) {
        reportUnloaded(failure.what());
        return nullptr;
    }
}

}  // namespace shell
