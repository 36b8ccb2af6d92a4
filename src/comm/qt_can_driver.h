#pragma once
// A CanDriver on any QtSerialBus plugin and interface ("socketcan:can0", "peakcan:usb0",
// "virtualcan:can0", ...). QCanBusDevice is not thread-safe: it is created, written and destroyed
// on the main thread, and its received frames go into a mutex-guarded queue that read() drains
// from the receive thread.

#include <QObject>
#include <QString>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

#include "comm/can_driver.h"

class QCanBusDevice;

class QtCanDriver : public QObject, public CanDriver {
    Q_OBJECT
  public:
    QtCanDriver(QString plugin, QString interfaceName);
    ~QtCanDriver() override;

    // Splits "plugin:interface"; false when the text has no plugin or no interface.
    static bool parseAdapter(const QString& adapter, QString& plugin, QString& interfaceName);
    static bool pluginAvailable(const QString& plugin);

    // Creates the device; false (with the reason in errorText) when the plugin cannot make one.
    bool createDevice();
    QString errorText() const { return errorText_; }

    uint32_t init() override;
    void close() override;
    uint32_t status() override;
    uint32_t write(const AdapterFrame& frame) override;
    uint32_t read(AdapterFrame& frame) override;
    std::string versionInfo() override;

  private:
    void onFramesReceived();
    void onErrorOccurred();
    void onStateChanged(int state);
    // Gets rid of the device (its frames and its errors with it).
    void dropDevice();

    QString plugin_;
    QString interface_;
    QString errorText_;
    QCanBusDevice* device_ = nullptr;
    std::mutex mutex_;
    std::deque<AdapterFrame> inbox_;
    uint32_t pendingError_ = kCanOk;  // guarded by mutex_; handed out once by read()
    // The connection went away by itself (adapter unplugged, the virtual bus's host ended): every
    // read fails until init() has made a new device. Guarded by mutex_.
    bool dropped_ = false;
    bool wasConnected_ = false;  // main thread only
};

// The "library" behind an adapter setting of the form plugin:interface.
class QtCanDriverLibrary : public CanDriverLibrary {
  public:
    explicit QtCanDriverLibrary(QString adapter) : adapter_(std::move(adapter)) {}
    LoadResult load(std::unique_ptr<CanDriver>& driver) override;

  private:
    QString adapter_;
};
