// Collects the error boxes that ShowLaunchError shows while an ErrorBoxes
// object lives, so the same test checks them in both builds.
//
// Native build: ShowLaunchError records each call (id and argument).
// Windows build: ShowLaunchError shows a real message box; a watcher thread
// (tests/win/error_boxes_win.cpp) reads the text of every box of this process
// and presses OK. Only the box text is known there, so the id and argument are
// checked through the text when the module's string table gives the message a
// "%s" to fill; otherwise only the number of boxes is compared.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "launcher/errorbox.h"

struct ExpectedBox {
    int id;
    std::string argument;
};

#ifdef CORVANE_HOST

class ErrorBoxes {
public:
    ErrorBoxes() { HostErrorBoxReset(); }
    ~ErrorBoxes() { HostErrorBoxReset(); }
    int Count() const { return HostErrorBoxCount(); }

    void Expect(const std::vector<ExpectedBox> &expected) const
    {
        ASSERT_EQ((int)expected.size(), Count()) << Describe();
        for (size_t i = 0; i < expected.size(); i++) {
            const HostErrorBox *box = HostErrorBoxAt((int)i);
            ASSERT_NE(nullptr, box);
            EXPECT_EQ(expected[i].id, box->id) << "box " << i;
            EXPECT_EQ(expected[i].argument, box->argument) << "box " << i;
        }
    }

    std::string Describe() const
    {
        std::string text = "boxes shown:";
        for (int i = 0; i < Count(); i++) {
            const HostErrorBox *box = HostErrorBoxAt(i);
            if (box)
                text += " [" + std::to_string(box->id) + " '" + box->argument + "']";
        }
        return text;
    }
};

#else

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

#endif
