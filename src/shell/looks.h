#pragma once

class QDateEdit;
class QWidget;

// How some controls look, the same on every screen.
namespace looks {

// A date picker shows its date the Indonesian way (textform::shortDate) and its
// calendar with Indonesian month and day names, whatever the system's locale.
void indonesianDates(QDateEdit *picker);

// A field that is read-only (disabled: no focus, no typing) shows its text in full
// contrast, not greyed out: a figure the operator must read, such as a balance.
void fullContrast(QWidget *field);

} // namespace looks
