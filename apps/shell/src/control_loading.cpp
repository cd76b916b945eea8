// SPDX-License-Identifier: MIT
#include "shell/control_loading.h"

#include <dlfcn.h>
#include <fontconfig/fontconfig.h>

#include <filesystem>
#include <iostream>
#include <system_error>

#include "bcpctrl/control_module.h"

namespace shell {
namespace {

// Beside the program, as the build tree and the package both lay them out.
std::filesystem::path controlModulePath() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return program.parent_path() / MOKUREN_CONTROL_MODULE;
}

std::unique_ptr<frame::BcpControl> loadControl(const std::optional<JobToPrepare>& job) {
    const std::filesystem::path path = controlModulePath();
    // Never closed: the control's threads and objects live until the program exits.
    void* const library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    void* const create = library != nullptr ? ::dlsym(library, bcpctrl::module::kCreateName) : nullptr;
    // Qt and the control's renderer read the same font configuration, Qt for the window's
    // texts. Read here, it is ready for both before the window is shown: two threads that
    // read it at the same time would each read all of it.
    FcInit();
    if (create == nullptr) {
        const char* const why = ::dlerror();
        std::cerr << "label-printer control " << path.string() << ": " << (why ? why : "cannot be loaded") << std::endl;
        return nullptr;
    }
    const auto createControl = reinterpret_cast<bcpctrl::module::Create>(create);
    return std::unique_ptr<frame::BcpControl>(job ? createControl(job->formatName.c_str(), job->portSetting.c_str())
                                                  : createControl(nullptr, nullptr));
}

}  // namespace

ControlLoading::ControlLoading(std::optional<JobToPrepare> job)
    : loading_(std::async(std::launch::async, [job = std::move(job)] { return loadControl(job); })) {}

std::unique_ptr<frame::BcpControl> ControlLoading::take() { return loading_.get(); }

}  // namespace shell
