// Answers the modal dialogs of a GUI test from a timer, the way a technician
// would, and records what they showed.
//
// Message boxes: clicks the next planned answer (`answers`), else the
// constructor's answer, else OK, else No, else rejects. File dialogs: calls
// `onFileDialog` if set, else accepts the next planned path (`files`), or
// cancels when none is planned. Any other modal widget is closed.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>

class BoxAnswerer : public QObject {
public:
    struct Box {
        QString kind;  // "information", "warning", "critical", "question", "none"
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QWidget *parent = nullptr;
        bool waitCursor = false;      // an override cursor was still up
        bool watchedEnabled = false;  // the watched widget, while the box showed
    };

    // `watch` (may be null) is sampled while each box is up.
    explicit BoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok,
                         QWidget *watch = nullptr)
        : answer_(answer), watch_(watch)
    {
        connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start(10);
    }
    explicit BoxAnswerer(QWidget *watch) : BoxAnswerer(QMessageBox::Ok, watch) {}

    QList<Box> boxes;
    QList<QMessageBox::StandardButton> answers;  // planned, used first
    QStringList files;                           // planned file dialog paths
    std::function<void(QFileDialog *)> onFileDialog;  // must accept or reject
    QStringList fileDialogTitles;
    QStringList fileDialogFilters;
    int fileDialogs = 0;

    QStringList texts() const
    {
        QStringList list;
        for (const Box &b : boxes)
            list << b.text;
        return list;
    }

    // Accepts a (non-native) file dialog with `path`.
    static void acceptFile(QFileDialog *dialog, const QString &path)
    {
        dialog->setDirectory(QFileInfo(path).absolutePath());
        dialog->selectFile(path);
        if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            edit->setText(QFileInfo(path).fileName());
        static_cast<QDialog *>(dialog)->accept();  // QFileDialog::accept hides it
    }

private:
    static QString kindOf(QMessageBox::Icon icon)
    {
        switch (icon) {
        case QMessageBox::Information: return QStringLiteral("information");
        case QMessageBox::Warning: return QStringLiteral("warning");
        case QMessageBox::Critical: return QStringLiteral("critical");
        case QMessageBox::Question: return QStringLiteral("question");
        default: return QStringLiteral("none");
        }
    }

    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (auto *dialog = qobject_cast<QFileDialog *>(modal))
            return answerFile(dialog);
        if (modal->property("answered").toBool())
            return;
        modal->setProperty("answered", true);
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box) {
            modal->close();
            return;
        }
        Box b;
        b.icon = box->icon();
        b.kind = kindOf(b.icon);
        b.title = box->windowTitle();
        b.text = box->text();
        b.buttons = box->standardButtons();
        b.parent = box->parentWidget();
        b.waitCursor = QApplication::overrideCursor() != nullptr;
        b.watchedEnabled = watch_ && watch_->isEnabled();
        boxes.append(b);
        const QMessageBox::StandardButton planned = answers.isEmpty() ? answer_ : answers.takeFirst();
        for (QMessageBox::StandardButton choice : {planned, QMessageBox::Ok, QMessageBox::No}) {
            if (QAbstractButton *button = box->button(choice)) {
                button->click();
                return;
            }
        }
        box->reject();
    }

    void answerFile(QFileDialog *dialog)
    {
        // The same dialog may still be up after an accept that came too early
        // (it fills its model in the background): answer it again.
        if (dialog != current_) {
            current_ = dialog;
            ++fileDialogs;
            fileDialogTitles << dialog->windowTitle();
            fileDialogFilters << dialog->nameFilters().join(";;");
            path_ = files.isEmpty() ? QString() : files.takeFirst();
            if (onFileDialog)
                return onFileDialog(dialog);
        } else if (onFileDialog) {
            return;
        }
        if (path_.isEmpty())
            dialog->reject();
        else
            acceptFile(dialog, path_);
    }

    QMessageBox::StandardButton answer_;
    QPointer<QWidget> watch_;
    QPointer<QFileDialog> current_;
    QString path_;
    QTimer timer_;
};
