#pragma once
// The application's core as the page lab tests run it inside the lab's host
// namespace: the context the pages are made with, a scratch store of its
// own and a real link writing into it. Open and Close mirror start-up and shutdown.

#include <memory>
#include <string>
#include <unistd.h>

#include "link/device_link.h"
#include "shell/AppContext.h"
#include "store/sql_management.h"

namespace kestrix::testing {

struct LabApp {
    AppContext context;
    std::string path;
    std::unique_ptr<CSqlManagement> store;
    std::unique_ptr<DeviceLink> link;

    // `name` tells the scratch file apart from other tests' files. The link
    // is wired to the store but not started, so a test can set its hooks.
    bool Open(const std::string& name) {
        context = AppContext{};
        path = "/tmp/kestrix-" + name + "-e2e-" + std::to_string(::getpid()) + ".mdb";
        store = std::make_unique<CSqlManagement>(path);
        if (!store->IsOpen()) return false;
        link = std::make_unique<DeviceLink>();
        link->SetStore(store.get());
        return true;
    }

    // Link first (its Release to every device), then the store and its file.
    void Close() {
        if (link) link->Shutdown();
        link.reset();
        store.reset();
        if (!path.empty()) ::unlink(path.c_str());
        context = AppContext{};
    }
};

}  // namespace kestrix::testing
