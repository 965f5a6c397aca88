// The "FPGA Bit" row: file selection, the Program click and the worker's job.
#include "mainwindow.h"

void MainWindow::on_btnBrowseBit_clicked() {}
void MainWindow::on_btnProgramBit_clicked() {}
void MainWindow::programBitstream() {}
void MainWindow::updateStep(int, bool) {}
void MainWindow::programJobFinished() {}
void MainWindow::showProgramLabel(QString) {}
