#pragma once

#include <QCursor>

#include <cstdint>

// Cursor ids of the instrument set: the usual negative ids of the standard
// cursors; positive ids are cursors registered by the program. CursorSlide's
// default 5 is the id of a hand cursor that the tester does not register, so
// it shows the arrow.
using TCursor = int16_t;
QCursor AbCursorOfId(TCursor Id);
