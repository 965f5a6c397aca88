// The "Param Hex" row and the two auxiliary slots.
#include "mainwindow.h"

QStringList MainWindow::readParamLines() { return {}; }
void MainWindow::buildParamImage(const QStringList &) {}
void MainWindow::on_btnBrowse_clicked() {}
void MainWindow::on_btnWriteSPI_clicked() {}
void MainWindow::on_btnClean_clicked() {}
void MainWindow::on_btnWrite_clicked() {}
