#include "bank.h"

#include <QLabel>

namespace bank {

const char *const kAddress = "Jl. Sisingamangaraja No. 12, Medan - Telp. (061) 7861234";

void showAddress(QLabel *label)
{
    label->setText(QString::fromUtf8(kAddress));
}

} // namespace bank
