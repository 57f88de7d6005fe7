#include "link/device_port.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "base/cp1251.h"
#include "base/error.h"
#include "link/protocol.h"
#include "serial/BCPort.h"

namespace tandrel::link {

bool WriteDevice(TLinkData& link, std::string_view text) {
    const auto port = link.GetDevicePort();
    if (!port) return false;
    port->WriteText(text);
    return true;
}

// Posts an attempt to open to the main thread every interval until stopped.
struct TDevicePort::TRetry {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::shared_ptr<int> token;  // queued attempts hold it weakly
    std::thread thread;
};

TDevicePort::TDevicePort(TLinkData& link, TLinkView& view, serial::TMainThreadExecutor& mainThread,
                         std::function<void(std::exception_ptr)> appException)
    : link_(link), view_(view), main_(mainThread), appException_(std::move(appException)) {}

TDevicePort::~TDevicePort() {
    Release();
}

bool TDevicePort::Open(const std::string& portName) {
    Release();
    name_ = portName;
    if (TryOpen()) return true;
    StartRetrying();
    return false;
}

bool TDevicePort::TryOpen() {
    const std::string before = reason_;
    bool open = false;
    if (name_.empty()) {
        reason_ = "порт устройства не задан в настройках"_cp1251;
    } else {
        auto port = std::make_shared<serial::TBComPort>(&main_);
        port->SetPort(name_);
        port->SetBaudRate(serial::br9600);
        port->SetByteSize(serial::bs8);
        port->SetParity(serial::paNone);
        port->SetStopBits(serial::sb1);
        port->SetInBufSize(protocol::kBufferSize);
        port->SetOutBufSize(protocol::kBufferSize);
        port->SetSyncMethod(serial::smThreadSync);
        auto& t = port->Timeouts();
        t.SetReadInterval(protocol::kReadInterval);
        t.SetReadTotalMultiplier(protocol::kReadTotalMultiplier);
        t.SetReadTotalConstant(protocol::kReadTotalConstant);
        t.SetWriteTotalMultiplier(protocol::kWriteTotalMultiplier);
        t.SetWriteTotalConstant(protocol::kWriteTotalConstant);
        port->OnRxChar = [this](serial::TBComPort& p, std::int32_t count) {
            try {
                std::string text;
                p.ReadText(text, count);
                ComPortRxChar(link_, view_, text);
            } catch (...) {
                // Queued, so that the handler runs after this delivery has returned and the
                // port's event thread goes on delivering.
                if (appException_) {
                    main_.Post([handler = appException_, error = std::current_exception()] {
                        handler(error);
                    });
                }
            }
        };
        // A line lost under the open port (cable pulled, far end gone) takes the way of a
        // failed write: nothing else would be written to find it out.
        port->OnLineLost = [this](serial::TBComPort&) {
            if (!appException_) return;
            main_.Post([handler = appException_] {
                handler(std::make_exception_ptr(serial::EComPort("Ошибка записи в порт"_cp1251)));
            });
        };
        try {
            port->OpenPort();
            link_.SetDevicePort(std::move(port));
            reason_.clear();
            open = true;
        } catch (const Exception& e) {
            reason_ = e.Message();
        } catch (const std::exception& e) {
            reason_ = e.what();
        }
    }
    if (open) {
        view_.Notice("Порт устройства открыт: "_cp1251 + name_, false);
    } else if (reason_ != before && !name_.empty()) {
        // The event, with the system's own reason; the standing state (no port set included)
        // is the main window's to show.
        view_.Notice("Порт устройства "_cp1251 + name_ + " не открыт: "_cp1251 + reason_, true);
    }
    if (OnStateChanged) OnStateChanged(open);
    return open;
}

void TDevicePort::StartRetrying() {
    retry_ = std::make_unique<TRetry>();
    retry_->token = std::make_shared<int>(0);
    retry_->thread = std::thread([this, r = retry_.get(), token = std::weak_ptr(retry_->token)] {
        std::unique_lock lock(r->mutex);
        while (!r->wake.wait_for(lock, RetryInterval, [r] { return r->stop; })) {
            // The attempt runs on the main thread. A queued one that outlives its retrying (or
            // this object) finds its token gone and touches nothing.
            main_.Post([this, token] {
                if (token.expired() || IsOpen()) return;
                if (TryOpen()) StopRetrying();
            });
        }
    });
}

void TDevicePort::StopRetrying() {
    if (!retry_) return;
    {
        std::lock_guard lock(retry_->mutex);
        retry_->stop = true;
    }
    retry_->wake.notify_all();
    retry_->thread.join();
    retry_.reset();
}

void TDevicePort::Release() {
    StopRetrying();
    auto port = link_.GetDevicePort();
    link_.SetDevicePort(nullptr);
    if (port) {
        try {
            port->ClosePort();
        } catch (...) {
            // The port is closed afterwards in any case; nothing to tell.
        }
    }
}

bool TDevicePort::IsOpen() const {
    return link_.GetDevicePort() != nullptr;
}

std::string TDevicePort::PortFieldText() const {
    if (IsOpen()) return name_;
    if (name_.empty()) return "не задан"_cp1251;
    return name_ + " (" + reason_ + ")";
}

}  // namespace tandrel::link
