#include "abcursor.h"

QCursor AbCursorOfId(TCursor Id) {
  switch (Id) {
    case -2: return QCursor(Qt::ArrowCursor);
    case -3: return QCursor(Qt::CrossCursor);
    case -4: return QCursor(Qt::IBeamCursor);
    case -6: return QCursor(Qt::SizeBDiagCursor);
    case -7: return QCursor(Qt::SizeVerCursor);
    case -8: return QCursor(Qt::SizeFDiagCursor);
    case -9: return QCursor(Qt::SizeHorCursor);
    case -10: return QCursor(Qt::UpArrowCursor);
    case -11: return QCursor(Qt::WaitCursor);
    case -12: return QCursor(Qt::DragCopyCursor);
    case -13: return QCursor(Qt::ForbiddenCursor);
    case -14: return QCursor(Qt::SplitHCursor);
    case -15: return QCursor(Qt::SplitVCursor);
    case -16: return QCursor(Qt::DragCopyCursor);
    case -17: return QCursor(Qt::BusyCursor);
    case -18: return QCursor(Qt::ForbiddenCursor);
    case -19: return QCursor(Qt::BusyCursor);
    case -20: return QCursor(Qt::WhatsThisCursor);
    case -21: return QCursor(Qt::PointingHandCursor);
    case -22: return QCursor(Qt::SizeAllCursor);
    default:
      // The default cursor and every program-registered id: the program
      // registers none, so they show the arrow.
      return QCursor(Qt::ArrowCursor);
  }
}
