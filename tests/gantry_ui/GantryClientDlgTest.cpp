// The download dialog over the engine, alone and from the manager's "Download && Install".
#include "TestMain.h"

#include "gantry/ui/GantryClientDlg.h"
#include "gantry/ui/GantryManagerDlg.h"
#include "gantry/ui/GantryQuestions.h"
#include "tests/gantry_db/ScannedTree.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/TempGameFolder.h"
#include "tests/support/ZipBuilder.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <memory>

using namespace quillory;
using namespace quillory::ui;

class GantryClientDlgTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempGameFolder> game;
    std::unique_ptr<test::ScratchFolder> data;
    std::unique_ptr<CFileDatabase> db;
    std::unique_ptr<test::FakeHttpServer> server;
    CGantryQuestions questions;

    std::string Archive(const std::string& name, const std::string& content) {
        const std::string path = *data / (name + ".build");
        if (!test::ZipBuilder().Add(name + ".pbo", content).Write(path))
            return std::string();
        std::string bytes;
        test::ReadFileBytes(path, bytes);
        std::filesystem::remove(path);
        return bytes;
    }

    // An offered record of one file "addons\<name>.pbo", as a server would describe it.
    Handle<CPackage> Offer(const std::string& name, const std::string& content,
                           const std::string& urlPath, size_t size) {
        auto record = std::make_shared<CPackage>();
        record->name = name;
        record->priority = 7;
        record->archivePath = server->Url(urlPath);
        record->archiveSize = uint32_t(size);
        record->needsDownload = 1;
        record->describedRoot = std::make_shared<CFileNode>();
        record->describedRoot->flags = NF_FOLDER;
        auto folder = record->describedRoot->AddChild("addons\\", NF_FOLDER);
        auto file = folder->AddChild(name + ".pbo", 0);
        file->size = uint32_t(content.size());
        file->crc = test::CrcOf(content);
        record->described = {folder, file};
        db->AddOfferedPackage(record);
        return record;
    }

private slots:
    void init() {
        game = std::make_unique<test::TempGameFolder>();
        data = std::make_unique<test::ScratchFolder>();
        db = std::make_unique<CFileDatabase>(data->Path().string());
        db->SetGamePath(game->Path());
        QVERIFY(db->Scan());
        server = std::make_unique<test::FakeHttpServer>();
    }

    void cleanup() {
        server.reset();
        db.reset();
        data.reset();
        game.reset();
    }

    void aRunFromTheManagerInstallsAndLeavesTheFailedOneFlagged() {
        const std::string first = Archive("first", "first data");
        const std::string third = Archive("third", "third data");
        server->Serve("/first.zip", first);
        server->Serve("/third.zip", third);
        QVERIFY(server->Start());
        Offer("first", "first data", "/first.zip", first.size());
        auto failing = Offer("second", "second data", "/missing.zip", 5000);
        Offer("third", "third data", "/third.zip", third.size());

        CGantryManagerDlg manager(*db, std::nullopt, questions);
        manager.SetStartTab(0);
        std::vector<DownloadOutcome> outcomes;
        QString title;
        QStringList results;
        bool stayedOpen = false;
        manager.runDownload = [&](CFileDatabase& database) {
            CGantryClientDlg client(database, database.DatabaseFolder(), &questions, &manager);
            title = client.windowTitle();
            // With a package failed the dialog stays, listing each result, until it is closed.
            QTimer poll;
            poll.setInterval(20);
            connect(&poll, &QTimer::timeout, &client, [&] {
                if (!client.Finished())
                    return;
                poll.stop();
                stayedOpen = client.isVisible();
                for (int i = 0; i < client.Results()->topLevelItemCount(); ++i)
                    results << client.Results()->topLevelItem(i)->text(0) + QLatin1Char('|') +
                                   client.Results()->topLevelItem(i)->text(1);
                QCOMPARE(client.CancelButton()->text(), QStringLiteral("Close"));
                QTest::mouseClick(client.CancelButton(), Qt::LeftButton);
            });
            poll.start();
            client.exec();
            outcomes = client.Outcomes();
        };
        manager.show();
        manager.Tick();
        QVERIFY(manager.DownloadButton()->isEnabled());
        QTest::mouseClick(manager.DownloadButton(), Qt::LeftButton);

        QCOMPARE(title, QStringLiteral("Gantry download and installation"));
        QVERIFY(stayedOpen);
        QCOMPARE(results.size(), 3);
        QCOMPARE(results[0], QStringLiteral("first|Installed"));
        QVERIFY2(results[1].startsWith(QStringLiteral("second|Failed: ")), qPrintable(results[1]));
        QVERIFY2(results[1].size() > QStringLiteral("second|Failed: ").size(),
                 qPrintable(results[1]));
        QCOMPARE(results[2], QStringLiteral("third|Installed"));
        QCOMPARE(outcomes.size(), size_t(3));
        QVERIFY(outcomes[0].installed && outcomes[2].installed);
        QVERIFY(!outcomes[1].arrived);
        QCOMPARE(game->Read("addons/first.pbo"), std::string("first data"));
        const QAbstractItemModel* model = manager.List()->model();
        QCOMPARE(model->data(model->index(0, 2)).toString(), QStringLiteral("Files installed"));
        QCOMPARE(model->data(model->index(2, 2)).toString(), QStringLiteral("Files installed"));
        QCOMPARE(model->data(model->index(0, 4)).toString(), QString());
        QCOMPARE(model->data(model->index(1, 4)).toString(), QStringLiteral("Download"));
        QCOMPARE(failing->needsDownload, uint8_t(1));

        // The new packages are in "Packages", their files in "Advanced".
        manager.Tabs()->setCurrentIndex(1);
        bool listed = false;
        for (int row = 0; row < manager.Model()->rowCount(); ++row)
            listed = listed || manager.Model()->PackageAt(row).name == "third";
        QVERIFY(listed);
    }

    void escapeWhileItRunsCancels() {
        std::string slow(4096 * 1000, 'x');
        server->Slow("/slow.zip", slow, 4096, std::chrono::milliseconds(20));
        server->Serve("/next.zip", "never");
        QVERIFY(server->Start());
        auto slowRecord = Offer("slow", "x", "/slow.zip", slow.size());
        Offer("next", "never", "/next.zip", 5);

        CGantryClientDlg client(*db, db->DatabaseFolder(), &questions);
        QTimer poll;
        poll.setInterval(20);
        connect(&poll, &QTimer::timeout, &client, [&] {
            if (client.Client().Progress().currentDone > 0 && client.CancelButton()->isEnabled()) {
                QTest::keyClick(&client, Qt::Key_Escape);
                // Escape acts as Cancel: the window stays until the worker is done.
                QVERIFY(!client.CancelButton()->isEnabled());
            }
        });
        poll.start();
        client.exec();
        QVERIFY(client.Cancelled());
        QCOMPARE(slowRecord->needsDownload, uint8_t(1));
        QCOMPARE(server->RequestCount("/next.zip"), 0);
        QVERIFY(client.TotalBar()->maximum() >= 1);
        QVERIFY(client.RateLabel()->text().endsWith(QStringLiteral(" kb/sec")));
    }

    void nothingFlaggedClosesAtOnce() {
        CGantryClientDlg client(*db, db->DatabaseFolder(), &questions);
        client.exec();
        QVERIFY(client.Outcomes().empty());
        QCOMPARE(client.RateLabel()->text(), QStringLiteral("0.00 kb/sec"));
    }
};

QUILLORY_WATCH_TEST(GantryClientDlgTest);

#include "GantryClientDlgTest.moc"
