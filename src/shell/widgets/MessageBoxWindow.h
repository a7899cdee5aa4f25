#pragma once

#include "MessageBoxes.h"

class QWidget;

// The message boxes of the program with windows: a real QMessageBox, modal,
// with the request's details behind "Show Details...".
namespace MessageBoxWindow {

MessageBoxes::Button show(QWidget *parent, const MessageBoxes::Request &request);

// Makes MessageBoxes show its boxes this way.
void install();

} // namespace MessageBoxWindow
