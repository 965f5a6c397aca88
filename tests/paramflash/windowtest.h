// Helpers for driving the window's parameter slots offscreen: a timer that
// answers every modal dialog (recording what it showed), and a peer that
// reaches the window's job lock.
#pragma once

#include "mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

struct MainWindowTestPeer {
    static void setCameraControlsEnabled(MainWindow &w, bool enabled)
    {
        w.setCameraControlsEnabled(enabled);
    }
};

class DialogAnswerer : public QObject {
public:
    struct Box {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool waitCursor = false;    // an override cursor was still up
        bool writeEnabled = false;  // the Write button, when the box showed
        QWidget *parent = nullptr;
    };

    // `writeButton` (may be null) is sampled while each box is up.
    explicit DialogAnswerer(QWidget *writeButton = nullptr) : writeButton_(writeButton)
    {
        connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start(10);
    }

    // Called with every file dialog; it must accept or reject it.
    std::function<void(QFileDialog *)> onFileDialog;

    QList<Box> boxes;
    QStringList fileDialogTitles;
    QStringList fileDialogFilters;

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
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal->property("answered").toBool())
            return;
        modal->setProperty("answered", true);
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            Box b;
            b.title = box->windowTitle();
            b.text = box->text();
            b.icon = box->icon();
            b.waitCursor = QApplication::overrideCursor() != nullptr;
            b.writeEnabled = writeButton_ && writeButton_->isEnabled();
            b.parent = box->parentWidget();
            boxes.append(b);
            if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            fileDialogTitles << dialog->windowTitle();
            fileDialogFilters << dialog->nameFilters().join(";;");
            if (onFileDialog)
                onFileDialog(dialog);
            else
                dialog->reject();
        } else {
            modal->close();
        }
    }

    QWidget *writeButton_;
    QTimer timer_;
};
