#pragma once

#include <QString>

// Speed cases of simparo-bench. Each works in a folder of its own under workDir,
// makes its own database there and prints its timings.

// The customer list of 10,000 customers laid out and saved as PDF.
void benchReports(const QString &workDir);
