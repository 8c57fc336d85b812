#pragma once

#include <QObject>
#include <functional>

class QWidget;

// Enter (character code 13) in a field confirms it: the key is consumed, never
// typed into the field, and the handler runs. Every other key is ordinary typing.
void onEnter(QWidget *field, std::function<void()> handler);
