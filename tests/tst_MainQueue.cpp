#include "platform/GridTimer.h"
#include "platform/MainQueue.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

class TestMainQueue : public QObject
{
    Q_OBJECT

private slots:
    void postRunsOnTheMainThreadInOrder()
    {
        std::vector<int> order;
        bool allOnMainThread = true;
        QThread* worker = QThread::create([&] {
            for (int i = 0; i < 200; ++i) {
                MainQueue::post([&, i] {
                    allOnMainThread =
                        allOnMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
                    order.push_back(i);
                });
            }
        });
        worker->start();
        QVERIFY(worker->wait());
        delete worker;
        QTRY_COMPARE(order.size(), size_t(200));
        QVERIFY(std::is_sorted(order.begin(), order.end()));
        QVERIFY(allOnMainThread);
    }

    void afterHoldsItsTargetWeakly()
    {
        int calls = 0;
        auto* gone = new QObject;
        QObject alive;
        MainQueue::after(30, gone, [&] { calls += 100; });
        MainQueue::after(30, &alive, [&] { calls += 1; });
        delete gone;
        QTRY_COMPARE(calls, 1);
        QTest::qWait(60);
        QCOMPARE(calls, 1);
    }

    void gridTimerTicksStayOnTheGrid()
    {
        // Each tick takes 60 ms of a 200 ms interval; a timer that restarts after each tick would
        // be 360 ms behind by the sixth tick.
        GridTimer timer;
        QElapsedTimer clock;
        std::vector<qint64> ticks;
        clock.start();
        timer.start(200, [&] {
            ticks.push_back(clock.elapsed());
            QThread::msleep(60);
        });
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 6, 5000);
        timer.stop();
        for (size_t k = 0; k < 6; ++k) {
            QVERIFY2(ticks[k] >= qint64(k + 1) * 200 - 2, qPrintable(QString::number(ticks[k])));
        }
        QVERIFY2(ticks[5] - 6 * 200 < 150, qPrintable(QString::number(ticks[5])));
    }

    void gridTimerDropsTicksItCouldNotRun()
    {
        GridTimer timer;
        QElapsedTimer clock;
        std::vector<qint64> ticks;
        clock.start();
        timer.start(100, [&] {
            ticks.push_back(clock.elapsed());
            if (ticks.size() == 1) {
                QThread::msleep(250); // busy across the 200 and 300 ms points
            }
        });
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 4, 5000);
        timer.stop();
        // The missed points run once, late; then the grid resumes at 400 and 500 ms.
        QVERIFY2(ticks[1] >= 350 - 2, qPrintable(QString::number(ticks[1])));
        QVERIFY2(ticks[2] >= 400 - 2, qPrintable(QString::number(ticks[2])));
        QVERIFY2(ticks[3] >= 500 - 2, qPrintable(QString::number(ticks[3])));
    }
};

QTEST_GUILESS_MAIN(TestMainQueue)
#include "tst_MainQueue.moc"
