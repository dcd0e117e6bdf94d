#pragma once
// The main window's news box and Link button: the browser server's news asked for at start,
// the link it brings (blinking while an upgrade is offered), and the self-upgrade that a link
// to the program's own archive starts.

#include "common/Types.h"
#include "net/BrowserHost.h"
#include "net/BrowserReply.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace quillory {
class CUpgradeWorker;
}

namespace quillory::ui {

class IBrowserLink;
class IServerWatch;

class CNewsLink final {
public:
    // `news` and `link` are the window's widgets; `window` is where queued calls run.
    CNewsLink(IServerWatch* watch, IBrowserLink* browser, BrowserEndpoint endpoint,
              QPlainTextEdit* news, QPushButton* link, QWidget* window);
    CNewsLink(const CNewsLink&) = delete;
    CNewsLink& operator=(const CNewsLink&) = delete;
    ~CNewsLink();

    // Asks for the news once the browser server's name is resolved; a failed lookup is
    // ignored.
    void StartNewsLookup();
    // The tick's parts: the blinking caption, then the news and the upgrade's progress of the
    // snapshot.
    void Blink(uint32_t tickCounter);
    void Show(const BrowserNews& news, const String& upgradeProgress);
    // The Link button: the program's own upgrade into `programFolder`, else the link's page.
    // True when an upgrade started; `ended` then runs on the window's thread once it ends.
    bool Click(const String& programFolder, std::function<void()> ended);
    // The result of the upgrade that ended; it is forgotten.
    int TakeUpgradeResult();
    // The window closes: no more news, and an upgrade's files are not cut short.
    void Close();

    // Opens a page the link names; the default is the desktop's web browser.
    std::function<void(const QString& address)> openPage;

    bool Blinking() const { return blinking_; }
    bool UpgradeRunning() const { return upgrade_ != nullptr; }

private:
    void SetCaption(const QString& text);

    IServerWatch* watch_;
    IBrowserLink* browser_;
    BrowserEndpoint endpoint_;
    QPlainTextEdit* news_;
    QPushButton* link_;
    QWidget* window_;
    bool blinking_ = false;
    bool newsShown_ = false;
    bool closed_ = false;
    QString caption_ = QStringLiteral("Link"); // until news brings one
    QString address_;
    std::unique_ptr<CUpgradeWorker> upgrade_;
};

} // namespace quillory::ui
