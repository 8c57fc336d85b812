#pragma once

class QLabel;

// The bank that runs the savings scheme, as its screens name it.
namespace bank {

// The bank's address and telephone, the same on every screen that shows them.
extern const char *const kAddress;

// Shows the address in a screen's address label.
void showAddress(QLabel *label);

} // namespace bank
