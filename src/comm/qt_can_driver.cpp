#include "comm/qt_can_driver.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QVariant>
#include <algorithm>
#include <cstring>

namespace {

constexpr int kBitRate = 250000;
// Frames the receive thread has not fetched yet. A thread that stopped reading (the link is lost
// and waits for the scheduler) must not let the queue grow without bound; what does not fit is
// reported as a read failure instead of vanishing silently.
constexpr std::size_t kInboxLimit = 65536;

AdapterFrame toAdapterFrame(const QCanBusFrame& frame) {
    AdapterFrame out;
    out.id = frame.frameId();
    out.msgType = frame.hasExtendedFrameFormat() ? kMsgTypeExtended : kMsgTypeStandard;
    if (frame.frameType() == QCanBusFrame::RemoteRequestFrame) {
        out.msgType |= kMsgTypeRemote;
    }
    const QByteArray payload = frame.payload();
    out.len = static_cast<uint8_t>(std::min<qsizetype>(payload.size(), 8));
    std::memcpy(out.data, payload.constData(), out.len);
    return out;
}

}  // namespace

QtCanDriver::QtCanDriver(QString plugin, QString interfaceName)
    : plugin_(std::move(plugin)), interface_(std::move(interfaceName)) {}

QtCanDriver::~QtCanDriver() {
    close();
}

bool QtCanDriver::parseAdapter(const QString& adapter, QString& plugin, QString& interfaceName) {
    const qsizetype colon = adapter.indexOf(QLatin1Char(':'));
    if (colon < 0) {
        return false;
    }
    const QString p = adapter.left(colon).trimmed();
    const QString i = adapter.mid(colon + 1).trimmed();
    if (p.isEmpty() || i.isEmpty()) {
        return false;
    }
    plugin = p;
    interfaceName = i;
    return true;
}

bool QtCanDriver::pluginAvailable(const QString& plugin) {
    return QCanBus::instance()->plugins().contains(plugin);
}

bool QtCanDriver::createDevice() {
    if (device_ != nullptr) {
        return true;
    }
    QString error;
    QCanBusDevice* device = QCanBus::instance()->createDevice(plugin_, interface_, &error);
    if (device == nullptr) {
        errorText_ =
            error.isEmpty()
                ? QStringLiteral("The CAN plugin %1 cannot open %2").arg(plugin_, interface_)
                : error;
        return false;
    }
    device->setParent(this);
    // socketcan applies its own default of 500 kbit/s on every connect; the pump's bus runs at 250.
    device->setConfigurationParameter(QCanBusDevice::BitRateKey, kBitRate);
    device->setConfigurationParameter(QCanBusDevice::ReceiveOwnKey, false);
    if (plugin_ == QLatin1String("socketcan")) {
        // The kernel passes error frames only on request; a bus-off must reach the receive thread.
        device->setConfigurationParameter(
            QCanBusDevice::ErrorFilterKey,
            QVariant::fromValue(QCanBusFrame::FrameErrors(QCanBusFrame::BusOffError)));
    }
    connect(device, &QCanBusDevice::framesReceived, this, &QtCanDriver::onFramesReceived);
    connect(device, &QCanBusDevice::errorOccurred, this, &QtCanDriver::onErrorOccurred);
    connect(device, &QCanBusDevice::stateChanged, this,
            [this](QCanBusDevice::CanBusDeviceState state) { onStateChanged(int(state)); });
    device_ = device;
    errorText_.clear();
    return true;
}

uint32_t QtCanDriver::init() {
    bool dropped = false;
    {
        std::lock_guard lock(mutex_);
        dropped = dropped_;
    }
    if (dropped || (wasConnected_ && device_ != nullptr &&
                    device_->state() == QCanBusDevice::UnconnectedState)) {
        // A device whose connection went away is not brought back by connecting it again on
        // every plugin: make a new one.
        dropDevice();
    }
    if (device_ == nullptr && !createDevice()) {
        return kCanError;
    }
    switch (device_->state()) {
        case QCanBusDevice::UnconnectedState: {
            {
                std::lock_guard lock(mutex_);
                pendingError_ = kCanOk;
            }
            if (device_->connectDevice()) {
                return kCanOk;
            }
            errorText_ = device_->errorString();
            return kCanError;
        }
        case QCanBusDevice::ConnectingState:
        case QCanBusDevice::ConnectedState:
            // Re-opened after a link loss: a working connection stays as it is; a controller
            // that went bus-off (or passive) is restarted where the plugin can do it.
            if (device_->hasBusStatus()) {
                const auto status = device_->busStatus();
                if (status == QCanBusDevice::CanBusStatus::BusOff ||
                    status == QCanBusDevice::CanBusStatus::Error) {
                    device_->resetController();
                }
            }
            return kCanOk;
        case QCanBusDevice::ClosingState:
            break;
    }
    return kCanError;
}

void QtCanDriver::dropDevice() {
    if (device_ != nullptr) {
        QCanBusDevice* device = device_;
        device_ = nullptr;
        device->disconnect(this);
        if (device->state() != QCanBusDevice::UnconnectedState) {
            device->disconnectDevice();
        }
        delete device;
    }
    wasConnected_ = false;
    std::lock_guard lock(mutex_);
    inbox_.clear();
    pendingError_ = kCanOk;
    dropped_ = false;
}

void QtCanDriver::close() {
    dropDevice();
}

void QtCanDriver::onStateChanged(int state) {
    if (state == QCanBusDevice::ConnectedState) {
        wasConnected_ = true;
        return;
    }
    if (state == QCanBusDevice::UnconnectedState && wasConnected_) {
        std::lock_guard lock(mutex_);
        dropped_ = true;
    }
}

uint32_t QtCanDriver::status() {
    return device_ == nullptr ? uint32_t(QCanBusDevice::UnconnectedState)
                              : uint32_t(device_->state());
}

uint32_t QtCanDriver::write(const AdapterFrame& frame) {
    if (device_ == nullptr || device_->state() != QCanBusDevice::ConnectedState || frame.len > 8 ||
        (frame.msgType & kMsgTypeStatus) != 0) {
        return kCanError;
    }
    const bool extended = (frame.msgType & kMsgTypeExtended) != 0;
    const uint32_t idMask = extended ? 0x1FFFFFFFu : 0x7FFu;
    QCanBusFrame out(frame.id & idMask,
                     QByteArray(reinterpret_cast<const char*>(frame.data), frame.len));
    out.setExtendedFrameFormat(extended);
    if ((frame.msgType & kMsgTypeRemote) != 0) {
        out.setFrameType(QCanBusFrame::RemoteRequestFrame);
    }
    return device_->writeFrame(out) ? kCanOk : kCanError;
}

uint32_t QtCanDriver::read(AdapterFrame& frame) {
    std::lock_guard lock(mutex_);
    if (dropped_ && inbox_.empty()) {
        return kCanError;  // what arrived before the drop is still handed out first
    }
    if (pendingError_ != kCanOk) {
        const uint32_t error = pendingError_;
        pendingError_ = kCanOk;
        return error;
    }
    if (inbox_.empty()) {
        return kCanQueueEmpty;
    }
    frame = inbox_.front();
    inbox_.pop_front();
    return kCanOk;
}

std::string QtCanDriver::versionInfo() {
    return QStringLiteral("QtSerialBus plugin %1, interface %2, Qt %3")
        .arg(plugin_, interface_, QString::fromLatin1(qVersion()))
        .toStdString();
}

void QtCanDriver::onFramesReceived() {
    if (device_ == nullptr) {
        return;
    }
    const QList<QCanBusFrame> frames = device_->readAllFrames();
    std::lock_guard lock(mutex_);
    for (const QCanBusFrame& f : frames) {
        if (f.frameType() == QCanBusFrame::ErrorFrame) {
            if ((f.error() & QCanBusFrame::BusOffError) != 0) {
                pendingError_ = kCanBusOff;
            }
            continue;
        }
        if (f.frameType() != QCanBusFrame::DataFrame &&
            f.frameType() != QCanBusFrame::RemoteRequestFrame) {
            continue;
        }
        if (inbox_.size() >= kInboxLimit) {
            if (pendingError_ == kCanOk) {
                pendingError_ = kCanError;
            }
            continue;
        }
        inbox_.push_back(toAdapterFrame(f));
    }
}

void QtCanDriver::onErrorOccurred() {
    if (device_ == nullptr) {
        return;
    }
    switch (device_->error()) {
        case QCanBusDevice::ReadError:
        case QCanBusDevice::ConnectionError:
        case QCanBusDevice::UnknownError: {
            std::lock_guard lock(mutex_);
            if (pendingError_ == kCanOk) {
                pendingError_ = kCanError;
            }
            break;
        }
        default:
            // A refused write, a configuration key the plugin does not know, an unsupported
            // operation: the link itself still works.
            break;
    }
}

QtCanDriverLibrary::LoadResult QtCanDriverLibrary::load(std::unique_ptr<CanDriver>& driver) {
    QString plugin;
    QString interfaceName;
    if (!QtCanDriver::parseAdapter(adapter_, plugin, interfaceName) ||
        !QtCanDriver::pluginAvailable(plugin)) {
        return LoadResult::LibraryMissing;
    }
    auto qtDriver = std::make_unique<QtCanDriver>(plugin, interfaceName);
    if (!qtDriver->createDevice()) {
        return LoadResult::FunctionMissing;
    }
    driver = std::move(qtDriver);
    return LoadResult::Ok;
}
