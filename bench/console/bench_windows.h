#pragma once
// The benchmarks' start: the windows on the simulator's device, linked, with a list of rows.

#include <QTest>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "console/Unit1.h"
#include "window_fixture.h"

namespace tandrel::console::testing {

// The link is up and at rest.
inline bool Linked() {
    return Form1->Link.LinkState.load() == 7;
}

// Writes a list of `rows` sizes into dir, starts the windows (the settings file already
// written), waits for the link and loads the list. False, said on stdout, when no link came.
inline bool StartLinkedWithList(const std::filesystem::path& dir, int rows) {
    const auto list = dir / "bench.txt";
    {
        std::ofstream out(list);
        for (int i = 1; i <= rows; ++i) out << 300 + (i * 37) % 2700 << ",5 row " << i << "\r\n";
    }
    CreateWindows();
    Form1->show();
    for (int i = 0; i < 1000 && !Linked(); ++i) QTest::qWait(10);
    if (!Linked()) {
        std::puts("no link");
        return false;
    }
    Form1->LoadList(list.string());
    return true;
}

}  // namespace tandrel::console::testing
