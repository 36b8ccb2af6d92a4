#pragma once
// The whole tool, every window built hidden, on a recording adapter: a test feeds frames, drives
// the scheduler tick by hand, reads labels and reads the frames the tool wrote.

#include <QDialog>
#include <QLabel>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "app/dialogs.h"
#include "comm/j1939.h"
#include "fake_can_driver.h"
#include "tool/tool_application.h"

// Dialogs that show nothing: texts are recorded, answers come from a script.
class ScriptedDialogs : public Dialogs {
  public:
    struct Shown {
        QString text;
        QString caption;
        Icon icon;
    };

    void message(const QString& text, const QString& caption, Icon icon) override {
        shown.push_back({text, caption, icon});
        if (onMessage) {
            onMessage();
        }
    }
    bool askYesNo(const QString& text, const QString& caption, Icon icon) override {
        questions.push_back({text, caption, icon});
        if (onQuestion) {
            onQuestion();
        }
        if (answers.empty()) {
            return false;
        }
        bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    QString openFileName(const QString& caption, const QString& filter,
                         const QString& defaultName) override {
        fileDialogs.push_back({caption, filter, defaultName});
        return takeFileName();
    }
    QString saveFileName(const QString& caption, const QString& filter,
                         const QString& defaultName) override {
        fileDialogs.push_back({caption, filter, defaultName});
        return takeFileName();
    }
    int execModal(QDialog& dialog) override {
        modals.push_back(dialog.objectName());
        return onModal ? onModal(dialog) : modalResult;
    }

    QStringList texts() const {
        QStringList out;
        for (const auto& s : shown) {
            out << s.text;
        }
        return out;
    }

    std::vector<Shown> shown;
    std::vector<Shown> questions;
    std::deque<bool> answers;
    std::deque<QString> fileNames;
    // The file dialogs asked, with what they offered.
    struct FileDialog {
        QString caption;
        QString filter;
        QString defaultName;
    };
    std::vector<FileDialog> fileDialogs;
    QStringList modals;
    int modalResult = 1;
    // Plays the operator in a modal window (fills it in, picks an entry) and gives its result;
    // without it every modal window returns modalResult untouched.
    std::function<int(QDialog&)> onModal;
    // Runs while a message box would be open (a test lets the tool work on meanwhile).
    std::function<void()> onMessage;
    // Runs while a question would be open.
    std::function<void()> onQuestion;

  private:
    QString takeFileName() {
        if (fileNames.empty()) {
            return {};
        }
        QString name = fileNames.front();
        fileNames.pop_front();
        return name;
    }
};

// Hands the link a recording driver, or fails the way a missing library would.
class FakeLibrary : public CanDriverLibrary {
  public:
    LoadResult load(std::unique_ptr<CanDriver>& driver) override {
        ++loads;
        if (result == LoadResult::Ok) {
            auto fake = std::make_unique<FakeCanDriver>();
            fake->setInitResult(initResult);
            this->driver = fake.get();
            driver = std::move(fake);
        }
        return result;
    }
    // The link has closed and released the driver.
    void unload() override { driver = nullptr; }
    LoadResult result = LoadResult::Ok;
    uint32_t initResult = kCanOk;  // what the adapter answers when it is opened
    FakeCanDriver* driver = nullptr;
    int loads = 0;
};

class ToolHarness {
  public:
    // `settingsText`, when given, is written to "tool.ini" before the tool starts.
    explicit ToolHarness(FakeLibrary::LoadResult loadResult = FakeLibrary::LoadResult::Ok,
                         const char* settingsText = nullptr);
    ~ToolHarness();

    // FormShow's steps: clear the displays, load the library, open the adapter.
    void start();

    // The scheduler tick, n times (10 ms each).
    void tick(int n = 1);
    void tickMs(int ms) { tick(ms / 10); }

    // A frame from the bus, handed over as the receive thread would.
    void receive(uint32_t id, const std::vector<uint8_t>& bytes);
    void receiveMessage(uint8_t source, uint8_t destination, uint32_t pgn,
                        const std::vector<uint8_t>& data);

    // What the tool wrote so far, decoded; clearWritten forgets it.
    std::vector<J1939Frame> written() const;
    std::vector<J1939Frame> written(uint32_t pgn) const;
    void clearWritten();
    // Requests (PGN 0xEA00) the tool wrote for one requested group.
    int requestsFor(uint32_t requested) const;
    // Proprietary A telegrams the tool sent, by their code byte (single frames and TP
    // announcements).
    std::vector<int> sentCodes() const;
    // The Proprietary A telegrams the tool sent, whole: single frames as they are, long ones put
    // together from their TP.CM announcement and TP.DT packets.
    std::vector<std::vector<uint8_t>> sentTelegrams() const;
    // A service reply from the pump to the tool; a long one through the transport protocol (a
    // broadcast announcement and its packets).
    void reply(const std::vector<uint8_t>& telegram, uint8_t pump = 61);

    // A label of the main window, or of the window with that form name.
    QString label(const char* objectName) const;
    QString label(const char* formName, const char* objectName) const;
    QString status() const;
    // A control of any window.
    template <typename Widget>
    Widget* find(const char* formName, const char* objectName) const {
        QWidget* w = app_->window(formName);
        return w ? w->findChild<Widget*>(objectName) : nullptr;
    }

    // The Address Claimed of a pump at `address`.
    void pumpClaims(uint8_t address = 61);
    // The pump answers: a reply that the decoder accepts (a page it does not know the content
    // of) ends the wait and counts as a service reply.
    void pumpReplies();
    // A Software Identification from the pump: the supervision hears it, identification ends.
    void pumpSpeaks();

    ToolApplication& app() { return *app_; }
    ToolCore& core() { return app_->core(); }
    TForm1& mainWindow() { return app_->mainWindow(); }
    FakeCanDriver& driver() { return *library_.driver; }
    FakeLibrary& library() { return library_; }
    QString settingsPath() const { return dir_.filePath("tool.ini"); }
    ScriptedDialogs dialogs;
    uint64_t nowMs = 1000000;  // the transport protocol's clock
    bool terminated = false;
    // Status pages may name read-outs no window holds only where a test says so.
    bool allowMissingReadouts = false;

  private:
    QTemporaryDir dir_;
    FakeLibrary library_;
    std::unique_ptr<ToolApplication> app_;
};
