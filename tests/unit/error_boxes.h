// Collects the message boxes that this process shows while an ErrorBoxes
// object lives (Windows only: the launcher's steps return their message ids,
// and only WinMain and the main window show boxes). A watcher thread
// (tests/win/error_boxes_win.cpp) reads the text of every box of this process
// and presses OK. Only the box text is known there, so the id and argument are
// checked through the text when the module's string table gives the message a
// "%s" to fill; otherwise only the number of boxes is compared.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

struct ExpectedBox {
    int id;
    std::string argument;
};

class ErrorBoxes {
public:
    ErrorBoxes();
    ~ErrorBoxes();
    ErrorBoxes(const ErrorBoxes &) = delete;
    ErrorBoxes &operator=(const ErrorBoxes &) = delete;

    int Count() const;
    std::string Text(int index) const;   // the message shown in box `index`
    void Expect(const std::vector<ExpectedBox> &expected) const;
    std::string Describe() const;

private:
    struct Watcher;
    Watcher *watcher_;
};
