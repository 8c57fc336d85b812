#include "looks.h"

#include "data/base/textforms.h"

#include <QCalendarWidget>
#include <QDateEdit>
#include <QPalette>

namespace looks {

void indonesianDates(QDateEdit *picker)
{
    picker->setLocale(textform::indonesian());
    picker->setDisplayFormat(textform::dateFormat());
    if (picker->calendarPopup())
        picker->calendarWidget()->setLocale(textform::indonesian());
}

void fullContrast(QWidget *field)
{
    QPalette palette = field->palette();
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::Base})
        palette.setColor(QPalette::Disabled, role, palette.color(QPalette::Active, role));
    field->setPalette(palette);
}

} // namespace looks
