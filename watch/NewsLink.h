#pragma once
// The main window's news box and Link button: the browser server's news asked for at start,
// the link it brings (blinking while an upgrade is offered), and the self-upgrade that a link
// to the program's own archive starts.

#include "common/Types.h"
#include "net/BrowserHost.h"
#include "net/BrowserReply.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

class QObject;
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
    // Hands a web page to the desktop; true when it was opened.
    using UrlOpener = std::function<bool(const QUrl& url)>;

    // What pressing the Link button did.
    enum class ClickOutcome {
        NOTHING,         // no address, or an upgrade already runs
        OPENED,          // the page went to the desktop's browser
        REFUSED,         // the address is no web page and was not opened
        PACKAGE_MANAGER, // an upgrade is offered, but the package manager owns this copy
        UPGRADE_STARTED,
    };

    // `news` and `link` are the window's widgets; `window` is where queued calls run.
    // `openUrl` null: the desktop's opener.
    CNewsLink(IServerWatch* watch, IBrowserLink* browser, BrowserEndpoint endpoint,
              QPlainTextEdit* news, QPushButton* link, QWidget* window, UrlOpener openUrl = {});
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
    // The Link button: the program's own upgrade into the folder of `programPath` when this
    // copy may replace itself, else the link's page. When an upgrade started, `ended` runs on
    // the window's thread once it ends.
    ClickOutcome Click(const String& programPath, std::function<void()> ended);
    // For PACKAGE_MANAGER: the text the player is shown, and the page that opens a download.
    QString PackageManagerOffer() const;
    bool OpenDownloadPage();
    // For REFUSED: the address that was not opened.
    const QString& Address() const { return address_; }
    // The running upgrade stops: its download at once, its files untouched.
    void CancelUpgrade();
    // The result of the upgrade that ended; it is forgotten.
    int TakeUpgradeResult();
    // The window closes: no more news, and an upgrade is cancelled (its files' moves, once
    // begun, are not cut short).
    void Close();

    bool Blinking() const { return blinking_; }
    bool UpgradeRunning() const { return upgrade_ != nullptr; }

private:
    void SetCaption(const QString& text);
    bool StartUpgrade(const String& programPath, std::function<void()> ended);
    void EndLookup();

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
    UrlOpener openUrl_;
    std::unique_ptr<CUpgradeWorker> upgrade_;
    // The name is resolved on a thread of its own, with the platform's lookup rather than Qt
    // Network's; its answer is queued to `lookupContext_`, which drops it once the link is gone.
    std::thread lookup_;
    std::unique_ptr<QObject> lookupContext_;
};

} // namespace quillory::ui
