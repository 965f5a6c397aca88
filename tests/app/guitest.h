// Helpers for the window tests: answering message boxes from a timer,
// capturing the debug stream, building device records, and the window's
// private job state.
#pragma once

#include "devicelink.h"
#include "devicerecord.h"
#include "ipv4address.h"
#include "mainwindow.h"
#include "sendthread.h"
#include "udpsocket.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QMutex>
#include <QStringList>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

struct MainWindowTestPeer {
    static void setCameraControlsEnabled(MainWindow &w, bool enabled)
    {
        w.setCameraControlsEnabled(enabled);
    }
    static bool jobCancel(MainWindow &w) { return w.jobCancel; }
    static SendThread *worker(MainWindow &w) { return w.sendThread; }
};

// How many connections sit on a signal of `object` (SIGNAL(...) text).
struct SignalReceivers : QObject {
    static int count(QObject *object, const char *signal)
    {
        // A pointer to the protected member, taken through this class, may
        // be applied to any QObject.
        int (QObject::*receivers)(const char *) const = &SignalReceivers::receivers;
        return (object->*receivers)(signal);
    }
};

// Answers every modal message box that appears while it lives: records its
// title, text, icon and buttons, then presses `answer` (or OK / the default).
class BoxAnswerer : public QObject {
public:
    struct Box {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QWidget *parent = nullptr;
    };

    explicit BoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok) : answer_(answer)
    {
        connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start(10);
    }

    QList<Box> boxes;

    QStringList texts() const
    {
        QStringList list;
        for (const Box &b : boxes)
            list << b.text;
        return list;
    }

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        Box b;
        b.title = box->windowTitle();
        b.text = box->text();
        b.icon = box->icon();
        b.buttons = box->standardButtons();
        b.parent = box->parentWidget();
        boxes.append(b);
        QAbstractButton *button = box->button(answer_);
        if (!button)
            button = box->button(QMessageBox::Ok);
        if (button)
            button->click();
        else
            box->reject();
    }

    QMessageBox::StandardButton answer_;
    QTimer timer_;
};

// Collects the debug stream while it lives (and still prints it). Captures
// nest: an inner one records alongside the outer ones. Create and destroy
// them on the GUI thread, innermost first.
class DebugCapture {
public:
    DebugCapture()
    {
        QMutexLocker lock(&globalMutex());
        outer_ = current();
        current() = this;
        if (!outer_)
            original() = qInstallMessageHandler(&DebugCapture::handler);
    }
    ~DebugCapture()
    {
        QMutexLocker lock(&globalMutex());
        current() = outer_;
        if (!outer_)
            qInstallMessageHandler(original());
    }
    QStringList lines() const
    {
        QMutexLocker lock(&globalMutex());
        return lines_;
    }
    bool contains(const QString &line) const { return lines().contains(line); }

private:
    static QMutex &globalMutex()
    {
        static QMutex mutex(QMutex::Recursive);
        return mutex;
    }
    static DebugCapture *&current()
    {
        static DebugCapture *capture = nullptr;
        return capture;
    }
    static QtMessageHandler &original()
    {
        static QtMessageHandler handler = nullptr;
        return handler;
    }
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &msg)
    {
        QtMessageHandler forward;
        {
            QMutexLocker lock(&globalMutex());
            for (DebugCapture *c = current(); c; c = c->outer_)
                c->lines_ << msg;
            forward = original();
        }
        if (forward)
            forward(type, context, msg);
    }

    DebugCapture *outer_ = nullptr;
    QStringList lines_;
};

inline void copyText(char *field, int width, const QByteArray &text)
{
    std::memset(field, 0, size_t(width));
    std::memcpy(field, text.constData(), size_t(qMin(width - 1, text.size())));
}

// A device record as discovery would have made it.
inline DeviceRecord makeRecord(const QString &ip, const QString &mask, const QString &gateway,
                               const QString &hostIP, const QByteArray &serial = "AB1234",
                               int ipConfig = 5, quint8 lastMacByte = 0xaa,
                               UdpSocket *socket = nullptr)
{
    DeviceRecord r;
    const quint8 mac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, lastMacByte};
    std::memcpy(r.mac, mac, 6);
    if (!parseIPv4(ip, r.ip) || !parseIPv4(mask, r.mask) || !parseIPv4(gateway, r.gateway))
        qFatal("bad test address");
    r.ipConfig = ipConfig;
    copyText(r.manufacturerName, 33, "Acme Imaging");
    copyText(r.modelName, 33, "GX-1000");
    copyText(r.deviceVersion, 33, "2.3");
    copyText(r.serialNumber, 17, serial);
    copyText(r.userDefinedName, 17, "line 4");
    r.hostIP = hostIP;
    r.socketSlot = socket;
    return r;
}

// A loopback "camera" for the IP panel: the channel's socket, a receiving
// socket standing in for the broadcast address, and an optional responder
// thread that acknowledges every datagram it receives.
class LoopbackCamera {
public:
    LoopbackCamera()
    {
        const quint8 loopback[4] = {127, 0, 0, 1};
        hostSocket.open();
        hostSocket.bindTo(loopback, 0);
        cameraSocket.open();
        cameraSocket.bindTo(loopback, 0);
    }
    ~LoopbackCamera() { stopResponder(); }

    SocketAddress cameraAddress() const { return cameraSocket.localAddress(); }

    // Every datagram that reached the camera side within `waitMs` after the
    // last one.
    std::vector<QByteArray> drain(int waitMs = 100)
    {
        std::vector<QByteArray> got;
        char buffer[2048];
        for (;;) {
            const int n = cameraSocket.receive(buffer, sizeof buffer, waitMs);
            if (n < 0)
                break;
            got.emplace_back(buffer, n);
        }
        return got;
    }

    void startResponder()
    {
        stop_ = false;
        responder_ = std::thread([this] {
            char buffer[2048];
            while (!stop_) {
                SocketAddress from;
                const int n = cameraSocket.receive(buffer, sizeof buffer, 50, &from);
                if (n < 0)
                    continue;
                {
                    QMutexLocker lock(&mutex_);
                    answered_.emplace_back(buffer, n);
                }
                // A plain success acknowledge; the IP commands accept any datagram.
                const quint8 ack[8] = {0x00, 0x00, 0x00, 0x05, 0x00, 0x00,
                                       quint8(n > 7 ? buffer[6] : 0), quint8(n > 7 ? buffer[7] : 0)};
                cameraSocket.sendTo(ack, sizeof ack, from);
            }
        });
    }
    std::vector<QByteArray> stopResponder()
    {
        if (responder_.joinable()) {
            stop_ = true;
            responder_.join();
        }
        QMutexLocker lock(&mutex_);
        std::vector<QByteArray> got;
        got.swap(answered_);
        return got;
    }

    UdpSocket hostSocket;
    UdpSocket cameraSocket;

private:
    std::thread responder_;
    std::atomic<bool> stop_{false};
    QMutex mutex_;
    std::vector<QByteArray> answered_;
};

inline QByteArray hexBytes(const char *hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}
