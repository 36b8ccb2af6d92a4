#include "comm/can_link.h"

CanLink::CanLink(CanDriverLibrary& library, LinkFlags& flags, CanLinkHost& host)
    : library_(library), flags_(flags), host_(host) {}

CanLink::~CanLink() {
    // Stop the thread before the driver it reads goes away.
    thread_.reset();
    if (driver_) {
        driver_->close();
    }
}

void CanLink::load() {
    if (loaded_) {
        return;
    }
    std::unique_ptr<CanDriver> driver;
    switch (library_.load(driver)) {
        case CanDriverLibrary::LoadResult::LibraryMissing:
            host_.showLinkError("Can not load DLL. Program will be terminated.", "Dll error");
            host_.terminateApplication();
            return;
        case CanDriverLibrary::LoadResult::FunctionMissing:
            loaded_ = true;
            host_.showLinkError("Can not initialize CAN", "error");
            return;
        case CanDriverLibrary::LoadResult::Ok:
            break;
    }
    loaded_ = true;
    if (!driver) {
        host_.showLinkError("Can not initialize CAN", "error");
        return;
    }
    driver_ = std::move(driver);
    host_.linkReady();
    flags_.stopRequested = false;
}

void CanLink::connect(ReceiveSink& sink, QObject* mainThread) {
    if (flags_.stopRequested.load() || !driver_ || thread_) {
        return;
    }
    thread_ = std::make_unique<TreadThread>(*driver_, flags_, sink, mainThread,
                                            [this] { host_.receiveThreadFinished(); });
    if (driver_->init() == kCanOk) {
        opened_ = true;
        thread_->resume();
        host_.setStatus("Trying to communicate with pump");
    } else {
        host_.showLinkError("Error connecting to CAN-USB", "CAN-USB");
        driver_->close();
    }
}

bool CanLink::write(const J1939Frame& frame) {
    if (flags_.linkLost.load() || !driver_) {
        return false;
    }
    const auto encoded = encodeFrame(frame);
    if (!encoded) {
        return false;  // breaks the PDU1/PDU2 rule: never sent
    }
    const uint32_t result = driver_->write(*encoded);
    if (result == kCanOk) {
        writeErrors_ = 0;
        host_.txStep();
        return true;
    }
    host_.txFailed();
    writeErrors_ = result == kCanBusOff ? ReceiveLoop::kErrorLimit : writeErrors_ + 1;
    if (writeErrors_ >= ReceiveLoop::kErrorLimit) {
        writeErrors_ = 0;
        flags_.linkLost = true;
    }
    return false;
}

void CanLink::reinitialise() {
    if (driver_ && driver_->init() == kCanOk) {
        flags_.linkLost = false;
        writeErrors_ = 0;
    }
}

std::string CanLink::versionText() {
    return driver_ ? driver_->versionInfo() : std::string();
}

void CanLink::wakeReceiveThread() {
    if (thread_) {
        thread_->wake();
    }
}

void CanLink::close() {
    thread_.reset();
    if (driver_) {
        driver_->close();
        driver_.reset();
    }
    library_.unload();
}
