#include "watch/NewsLink.h"

#include "platform/HostResolve.h"
#include "ui/TextConversion.h"
#include "watch/BrowserLink.h"
#include "watch/ServerWatchSource.h"
#include "watch/core/InstallKind.h"
#include "watch/core/UpgradeKey.h"
#include "watch/core/UpgradeOffer.h"
#include "watch/core/UpgradeWorker.h"

#include <QDesktopServices>
#include <QObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace quillory::ui {

CNewsLink::CNewsLink(IServerWatch* watch, IBrowserLink* browser, BrowserEndpoint endpoint,
                     QPlainTextEdit* news, QPushButton* link, QWidget* window, UrlOpener openUrl)
    : watch_(watch), browser_(browser), endpoint_(std::move(endpoint)), news_(news), link_(link),
      window_(window), openUrl_(std::move(openUrl)) {
    if (!openUrl_)
        openUrl_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

CNewsLink::~CNewsLink() {
    Close();
}

void CNewsLink::StartNewsLookup() {
    newsShown_ = false;
    if (browser_ == nullptr || endpoint_.host.empty())
        return;
    EndLookup();
    lookupContext_ = std::make_unique<QObject>();
    QObject* context = lookupContext_.get();
    lookup_ = std::thread([this, context, host = endpoint_.host, port = endpoint_.port] {
        const uint32_t address = ResolveHost(host);
        if (address == ADDRESS_NONE)
            return;
        QMetaObject::invokeMethod(
            context,
            [this, address, port] {
                if (!closed_)
                    browser_->QueryNews(address, port);
            },
            Qt::QueuedConnection);
    });
}

void CNewsLink::EndLookup() {
    if (lookup_.joinable())
        lookup_.join();
    lookupContext_.reset();
}

void CNewsLink::Blink(uint32_t tickCounter) {
    link_->setText(blinking_ && tickCounter % 4 == 0 ? QString() : caption_);
}

void CNewsLink::SetCaption(const QString& text) {
    link_->setText(text);
    // The button never shrinks: the blink's empty caption would otherwise move the layout.
    link_->setMinimumWidth(std::max(link_->minimumWidth(), link_->sizeHint().width()));
}

void CNewsLink::Show(const BrowserNews& news, const String& upgradeProgress) {
    blinking_ = news.upgradeOffered;
    if (!newsShown_ && !news.text.empty()) {
        newsShown_ = true;
        news_->setPlainText(FromNetwork(news.text));
        address_ = FromNetwork(news.upgradeFile);
        if (!news.link.empty()) {
            caption_ = FromNetwork(news.link);
            SetCaption(caption_);
            link_->setEnabled(true);
        }
    }
    // The self-upgrade's progress takes the button.
    if (!upgradeProgress.empty())
        SetCaption(FromNetwork(upgradeProgress));
}

CNewsLink::ClickOutcome CNewsLink::Click(const String& programPath, std::function<void()> ended) {
    blinking_ = false;
    if (watch_ != nullptr)
        watch_->ClearUpgradeOffered();
    // The link only ever comes from a news reply of the browser server's own address and port
    // (the engine takes no other); the archive it names proves itself by its signature.
    if (!IsUpgradeArchive(ToLocal(address_)) || browser_ == nullptr) {
        if (address_.isEmpty())
            return ClickOutcome::NOTHING;
        // A server's text must not reach the desktop's opener as a file or a program.
        if (!IsBrowserLink(ToLocal(address_)))
            return ClickOutcome::REFUSED;
        openUrl_(QUrl(address_));
        return ClickOutcome::OPENED;
    }
    if (upgrade_)
        return ClickOutcome::NOTHING;
    if (DetectInstallKind(programPath) == InstallKind::PACKAGE_MANAGER)
        return ClickOutcome::PACKAGE_MANAGER;
    return StartUpgrade(programPath, std::move(ended)) ? ClickOutcome::UPGRADE_STARTED
                                                       : ClickOutcome::NOTHING;
}

bool CNewsLink::StartUpgrade(const String& programPath, std::function<void()> ended) {
    String folder = std::filesystem::path(programPath).parent_path().string();
    if (!folder.empty())
        folder += '/';
    CUpgradeWorker::Options options;
    options.trustedKey = TrustedUpgradeKey(std::getenv(UPGRADE_KEY_ENVIRONMENT));
    IBrowserLink* browser = browser_;
    upgrade_ = std::make_unique<CUpgradeWorker>(
        ToLocal(address_), CUpgradeWorker::Paths{folder, CUpgradeWorker::DOWNLOAD_FILE},
        [browser](const String& text) { browser->SetUpgradeProgress(text); }, std::move(options));
    // The worker's thread hands the end over to the window's thread (message 0x404).
    QWidget* window = window_;
    const bool started = upgrade_->Start([window, ended = std::move(ended)](int) {
        QMetaObject::invokeMethod(window, ended, Qt::QueuedConnection);
    });
    if (!started)
        upgrade_.reset();
    return started;
}

QString CNewsLink::PackageManagerOffer() const {
    return FromLocal(PackageManagerText(OfferedVersion(ToLocal(caption_), ToLocal(address_))));
}

bool CNewsLink::OpenDownloadPage() {
    const String page = DownloadPage(ToLocal(address_));
    return IsBrowserLink(page) && openUrl_(QUrl(FromLocal(page)));
}

void CNewsLink::CancelUpgrade() {
    if (upgrade_)
        upgrade_->Cancel();
}

int CNewsLink::TakeUpgradeResult() {
    const int result = upgrade_->Wait();
    upgrade_.reset();
    return result;
}

void CNewsLink::Close() {
    closed_ = true;
    EndLookup();
    if (upgrade_) {
        upgrade_->Cancel();
        upgrade_->Wait();
    }
}

} // namespace quillory::ui
