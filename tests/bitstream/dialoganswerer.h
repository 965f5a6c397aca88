// Answers the modal dialogs of a GUI test from a timer, the way a
// technician would, and records what they said.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

// Answers whatever modal dialog is up: message boxes with OK, or with the
// next planned answer when they ask a question; file dialogs with the next
// planned path (none planned: cancel).
class DialogAnswerer : public QObject {
public:
    struct Box {
        QString kind;  // "information", "critical", "question", "warning"
        QString title;
        QString text;
    };

    DialogAnswerer()
    {
        timer_.setInterval(20);
        connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start();
    }

    QList<Box> boxes;
    QList<QMessageBox::StandardButton> answers;
    QStringList files;
    int fileDialogs = 0;

    QStringList texts() const
    {
        QStringList out;
        for (const Box &b : boxes)
            out << b.text;
        return out;
    }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            if (!box->isVisible())
                return;
            QString kind;
            switch (box->icon()) {
            case QMessageBox::Information: kind = "information"; break;
            case QMessageBox::Critical: kind = "critical"; break;
            case QMessageBox::Question: kind = "question"; break;
            case QMessageBox::Warning: kind = "warning"; break;
            default: kind = "none"; break;
            }
            boxes.append({kind, box->windowTitle(), box->text()});
            if (box->button(QMessageBox::Yes)) {
                const auto answer = answers.isEmpty() ? QMessageBox::No : answers.takeFirst();
                box->button(answer)->click();
            } else if (QAbstractButton *ok = box->button(QMessageBox::Ok)) {
                ok->click();
            } else {
                box->reject();
            }
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            if (!dialog->isVisible())
                return;
            // The same dialog may still be up after an accept that came too
            // early (it fills its model in the background): answer it again.
            if (dialog != currentDialog_) {
                currentDialog_ = dialog;
                ++fileDialogs;
                currentPath_ = files.isEmpty() ? QString() : files.takeFirst();
            }
            if (currentPath_.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->setDirectory(QFileInfo(currentPath_).absolutePath());
            dialog->selectFile(currentPath_);
            if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                edit->setText(QFileInfo(currentPath_).fileName());
            static_cast<QDialog *>(dialog)->accept();  // QFileDialog hides it
        }
    }

    QPointer<QFileDialog> currentDialog_;
    QString currentPath_;
    QTimer timer_;
};
