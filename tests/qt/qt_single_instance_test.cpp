#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <thread>

#include "QtTestSupport.h"
#include "platform/qt/QtSingleInstance.h"

namespace corvix {
namespace {

// Runs `second.claim()` on another thread while this one serves the first instance's socket.
bool claimWhileServing(QtSingleInstance& second, bool takeOver = false) {
    std::atomic<int> result{-1};
    std::thread starter([&] { result = second.claim(takeOver) ? 1 : 0; });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (result != -1) {
            loop.quit();
        }
    });
    poll.start(5);
    QTimer::singleShot(8000, &loop, &QEventLoop::quit);
    loop.exec();
    starter.join();
    return result == 1;
}

TEST(QtSingleInstance, ASecondStartOnTheSameDisplayAsksTheFirstToComeForward) {
    testing::app();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QtSingleInstance first(dir.path(), ":7");
    ASSERT_TRUE(first.claim());
    int activations = 0;
    first.setOnActivate([&] { ++activations; });

    QtSingleInstance second(dir.path(), ":7");
    EXPECT_FALSE(claimWhileServing(second));
    QCoreApplication::processEvents();
    EXPECT_EQ(activations, 1);

    // Another display is another desktop session: its own icon.
    QtSingleInstance elsewhere(dir.path(), ":8");
    EXPECT_TRUE(elsewhere.claim());
}

TEST(QtSingleInstance, TheHubsStartTakesOverFromACopyStartedBeforeIt) {
    testing::app();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // An autostarted copy runs first.
    QtSingleInstance autostarted(dir.path(), ":6");
    ASSERT_TRUE(autostarted.claim());
    int activations = 0;
    int handOvers = 0;
    autostarted.setOnActivate([&] { ++activations; });
    autostarted.setOnHandOver([&] {
        ++handOvers;
        autostarted.release();  // what the end of its process does
    });

    // The hub starts its own: the running copy hands over, the hub's runs.
    QtSingleInstance hubs(dir.path(), ":6");
    EXPECT_TRUE(claimWhileServing(hubs, true));
    EXPECT_EQ(handOvers, 1);
    EXPECT_EQ(activations, 0);

    // The lock is the hub's copy's now: another start does not run.
    QtSingleInstance later(dir.path(), ":6");
    EXPECT_FALSE(later.claim());
    EXPECT_EQ(handOvers, 1);
}

TEST(QtSingleInstance, ALockLeftByAProcessThatIsGoneIsTakenOver) {
    testing::app();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // What a crashed instance leaves: a lock naming a process that no longer runs.
    const pid_t gone = [] {
        pid_t child = fork();
        if (child == 0) {
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return child;
    }();
    QFile lock(dir.filePath(QStringLiteral("corvix-%1-_9.lock").arg(getuid())));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(qint64(gone)) + "\ncorvix_qt_tests\n" +
               QSysInfo::machineHostName().toUtf8() + "\n");
    lock.close();

    QtSingleInstance next(dir.path(), ":9");
    EXPECT_TRUE(next.claim());
}

}  // namespace
}  // namespace corvix
