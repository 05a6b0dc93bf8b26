#pragma once
// The application's core as the page lab tests run it inside the lab's host
// namespace: the context the pages are made with, a scratch store of its
// own and a real link writing into it, and the lab with its simulated
// fleet. Enter and Close mirror start-up and shutdown.

#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include <QtGlobal>

#include "link/device_link.h"
#include "shell/AppContext.h"
#include "store/sql_management.h"
#include "tests/support/labkit.h"

namespace kestrix::testing {

struct LabApp {
    AppContext context;
    std::string path;
    std::unique_ptr<CSqlManagement> store;
    std::unique_ptr<DeviceLink> link;
    std::unique_ptr<labkit::Lab> lab;
    std::optional<labkit::SimDump> dump;  // the fleet as of the last Refresh

    // Brings the lab up with `fleet`, reads the fleet's state, moves this
    // process into the lab's host namespace for good and opens the core
    // there.
    bool Enter(const std::string& name, const labkit::LabOptions& fleet, std::string* err) {
        lab = std::make_unique<labkit::Lab>();
        if (!lab->Up(fleet, err)) return false;
        const char* failed = nullptr;
        if (!Refresh())
            failed = "the simulator gave no state dump";
        else if (!labkit::EnterNetns(labkit::kHostNamespace, err))
            return false;
        else if (!Open(name))
            failed = "the scratch store did not open";
        if (failed != nullptr && err != nullptr) *err = failed;
        return failed == nullptr;
    }

    // The simulator's state right now (a warning says why when there is none).
    std::optional<labkit::SimDump> Dump() const {
        std::string err;
        auto now = lab->Dump(&err);
        if (!now) qWarning("%s", err.c_str());
        return now;
    }
    // Keeps Dump() as `dump`.
    bool Refresh() {
        auto now = Dump();
        if (!now) return false;
        dump = std::move(now);
        return true;
    }
    // Device `index` as of the last Refresh.
    const labkit::SimDevice* Sim(int index) const {
        for (const labkit::SimDevice& d : dump->devices)
            if (d.index == index) return &d;
        return nullptr;
    }

    // `name` tells the scratch file apart from other tests' files. The link
    // is wired to the store but not started (StartLink, or Start for a link
    // the pages do not get), so a test can set its hooks.
    bool Open(const std::string& name) {
        context = AppContext{};
        path = "/tmp/kestrix-" + name + "-e2e-" + std::to_string(::getpid()) + ".mdb";
        store = std::make_unique<CSqlManagement>(path);
        if (!store->IsOpen()) return false;
        link = std::make_unique<DeviceLink>();
        link->SetStore(store.get());
        return true;
    }

    // Starts the link and hands the store and the link to the pages.
    bool StartLink() {
        if (!link->Start(3, 2000)) return false;
        context.store = store.get();
        context.link = link.get();
        return true;
    }

    // Link first (its Release to every device), then the store and its
    // file, then the lab.
    void Close() {
        if (link) link->Shutdown();
        link.reset();
        store.reset();
        if (!path.empty()) ::unlink(path.c_str());
        context = AppContext{};
        if (lab) lab->Down();
    }

    // How many stored devices read Online.
    int OnlineCount() {
        std::vector<ap_info_stu> rows;
        int pages = 0, online = 0;
        store->QueryDevicePage("", 1, true, 100, 1, rows, pages, online);
        return online;
    }
};

}  // namespace kestrix::testing
