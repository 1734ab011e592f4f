#pragma once

#include <functional>

class QWidget;

// Runs the program: builds the application and its main window, runs the
// event loop, and builds both again whenever the loop ends with
// RESTART_EXIT_CODE. Returns any other exit code.
int runApplicationLoop(int& argc, char** argv, const std::function<QWidget*()>& makeWindow);
