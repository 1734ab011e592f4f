#pragma once

// The record tests' working directory; the shared fixtures are in apptestutil.h.
#include "apptestutil.h"

namespace OthersTest {
struct WorkDir : apptest::WorkDir
{
    bool enter(const QString& lang) { return writeIni({{QStringLiteral("lang"), lang}}), true; }
};
} // namespace OthersTest
