#include "abtext.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMinHeight = 1;
constexpr int kMaxHeight = 1000;

int PixelsOfPoints(int points)
{
    // 96 dots per inch, 72 points per inch; a size of 0 or less is taken as 1.
    const long long px = std::llround(static_cast<double>(std::max(points, 1)) * 96.0 / 72.0);
    return static_cast<int>(std::clamp<long long>(px, kMinHeight, kMaxHeight));
}

// Installed faces that stand in for the Windows fonts the instruments name:
// Liberation Sans, Arial, Nimbus Sans and Helvetica share their proportions
// and carry Cyrillic; the window's form font falls back the same way.
QStringList FamiliesFor(const QString& name)
{
    QStringList families{name};
    const QString lower = name.toLower();
    if (lower == QLatin1String("system") || lower.contains(QLatin1String("sans serif")))
        families << QStringLiteral("Microsoft Sans Serif");
    for (const char* face : {"Liberation Sans", "Arial", "Nimbus Sans", "Helvetica", "DejaVu Sans"})
        if (lower != QLatin1String(face).toString().toLower())
            families << QString::fromLatin1(face);
    return families;
}

} // namespace

TAbFont::TAbFont() : TAbFont(QStringLiteral("MS Sans Serif"), 8) {}

TAbFont::TAbFont(const QString& name, int size, const QColor& color)
    : name_(name), height_(PixelsOfPoints(size)), color_(color)
{
    // The Windows "System" font is a bold face.
    bold_ = name.compare(QLatin1String("System"), Qt::CaseInsensitive) == 0;
}

TAbFont::TAbFont(const TAbFont& other)
    : TAbPersistent(), name_(other.name_), height_(other.height_), bold_(other.bold_), color_(other.color_)
{
}

void TAbFont::Assign(const TAbPersistent& source)
{
    const auto* f = dynamic_cast<const TAbFont*>(&source);
    if (!f) {
        TAbPersistent::Assign(source);
        return;
    }
    // One notification for the whole copy, as a font is one property.
    const bool differs = name_ != f->name_ || height_ != f->height_ || bold_ != f->bold_ || color_ != f->color_;
    name_ = f->name_;
    height_ = f->height_;
    bold_ = f->bold_;
    color_ = f->color_;
    if (differs)
        Changed();
}

void TAbFont::SetName(const QString& name)
{
    if (name == name_)
        return;
    name_ = name;
    Changed();
}

int TAbFont::Size() const
{
    return static_cast<int>(std::lround(height_ * 72.0 / 96.0));
}

void TAbFont::SetSize(int points)
{
    SetHeight(PixelsOfPoints(points));
}

void TAbFont::SetHeight(int pixels)
{
    pixels = std::clamp(pixels, kMinHeight, kMaxHeight);
    if (pixels == height_)
        return;
    height_ = pixels;
    Changed();
}

void TAbFont::SetBold(bool bold)
{
    if (bold == bold_)
        return;
    bold_ = bold;
    Changed();
}

void TAbFont::SetColor(const QColor& color)
{
    if (color == color_)
        return;
    color_ = color;
    Changed();
}

QFont TAbFont::Font() const
{
    QFont f;
    f.setFamilies(FamiliesFor(name_));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(height_);
    f.setBold(bold_);
    return f;
}

QPoint AbTextOrigin(int x, int y, int anchor, QSize textSize)
{
    if (anchor < 0 || anchor > 8)
        anchor = 0;
    const int horizontal = anchor % 3;
    const int vertical = anchor / 3;
    const int w = textSize.width();
    const int h = textSize.height();
    const int left = horizontal == 0 ? x : horizontal == 1 ? x - w / 2 : x - w;
    const int top = vertical == 0 ? y : vertical == 1 ? y - h / 2 : y - h;
    return {left, top};
}

QSize AbTextSize(const QFontMetrics& metrics, const QString& text)
{
    return {metrics.horizontalAdvance(text), metrics.height()};
}

QRect AbTextOut(QPainter& canvas, int x, int y, int anchor, const QString& text)
{
    const QFontMetrics metrics = canvas.fontMetrics();
    const QSize size = AbTextSize(metrics, text);
    const QPoint origin = AbTextOrigin(x, y, anchor, size);
    canvas.drawText(origin.x(), origin.y() + metrics.ascent(), text);
    return {origin, size};
}
