#include "app/wrapping_row.h"

#include <QEvent>
#include <QStyle>
#include <QWidget>

#include <algorithm>

WrappingRow::~WrappingRow()
{
    for (QLayoutItem* item : items)
        delete item;
}

void WrappingRow::addItem(QLayoutItem* item)
{
    items.push_back(item);
    invalidate();
}

int WrappingRow::count() const
{
    return static_cast<int>(items.size());
}

QLayoutItem* WrappingRow::itemAt(int index) const
{
    return index >= 0 && index < count() ? items[size_t(index)] : nullptr;
}

QLayoutItem* WrappingRow::takeAt(int index)
{
    if (index < 0 || index >= count())
        return nullptr;
    QLayoutItem* item = items[size_t(index)];
    items.erase(items.begin() + index);
    invalidate();
    return item;
}

Qt::Orientations WrappingRow::expandingDirections() const
{
    Qt::Orientations grows;
    for (QLayoutItem* item : items)
        grows |= item->expandingDirections() & Qt::Horizontal;
    return grows;
}

int WrappingRow::heightForWidth(int width) const
{
    return arrange(QRect(0, 0, width, 0), false);
}

QSize WrappingRow::minimumSize() const
{
    QSize size;
    for (QLayoutItem* item : items)
        if (!item->isEmpty())
            size = size.expandedTo(item->minimumSize()).expandedTo(QSize(item->sizeHint().width(), 0));
    const QMargins m = contentsMargins();
    return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

QSize WrappingRow::sizeHint() const
{
    int width = 0, height = 0, shown = 0;
    for (QLayoutItem* item : items) {
        if (item->isEmpty())
            continue;
        width += item->sizeHint().width() + (shown++ ? gap() : 0);
        height = std::max(height, item->sizeHint().height());
    }
    const QMargins m = contentsMargins();
    return {width + m.left() + m.right(), height + m.top() + m.bottom()};
}

void WrappingRow::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int WrappingRow::gap() const
{
    const int set = spacing();
    if (set >= 0)
        return set;
    const QWidget* parent = parentWidget();
    const int style = parent ? parent->style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing) : -1;
    return style >= 0 ? style : 6;
}

int WrappingRow::arrange(const QRect& rect, bool place) const
{
    const QRect area = rect.marginsRemoved(contentsMargins());
    const int room = std::max(1, area.width());
    const int between = gap();
    std::vector<QLayoutItem*> shown;
    for (QLayoutItem* item : items)
        if (!item->isEmpty())
            shown.push_back(item);
    // Each item as wide as its hint (never narrower than its minimum), and
    // no wider than the line unless its minimum is.
    const auto wanted = [room](const QLayoutItem* item) {
        return std::max(item->minimumSize().width(), std::min(item->sizeHint().width(), room));
    };
    int y = area.top(), count_lines = 0;
    for (size_t begin = 0; begin < shown.size();) {
        size_t end = begin;
        int used = 0, height = 0;
        while (end < shown.size()) {
            const int need = used + (end > begin ? between : 0) + wanted(shown[end]);
            if (end > begin && need > room)
                break;
            used = need;
            height = std::max(height, shown[end]->sizeHint().height());
            ++end;
        }
        if (place) {
            // The room left: to the items that want to grow, else to all.
            int growing = 0;
            for (size_t i = begin; i < end; ++i)
                growing += (shown[i]->expandingDirections() & Qt::Horizontal) ? 1 : 0;
            const int takers = growing ? growing : int(end - begin);
            const int spare = std::max(0, room - used);
            int x = area.left(), given = 0;
            for (size_t i = begin; i < end; ++i) {
                QLayoutItem* item = shown[i];
                int w = wanted(item);
                if (!growing || (item->expandingDirections() & Qt::Horizontal)) {
                    const int share = spare * (given + 1) / takers - spare * given / takers;
                    ++given;
                    w = std::min(w + share, std::max(w, item->maximumSize().width()));
                }
                const int h = std::min(height, item->maximumSize().height());
                item->setGeometry(QRect(x, y + (height - h) / 2, w, h));
                x += w + between;
            }
        }
        y += height + between;
        ++count_lines;
        begin = end;
    }
    if (count_lines)
        y -= between;
    return y - area.top() + contentsMargins().top() + contentsMargins().bottom();
}

namespace {

QSize needed_size(const QLayout* layout)
{
    const int width = layout->totalMinimumSize().width();
    return {width, layout->totalMinimumHeightForWidth(width)};
}

// Keeps the window's minimum size what its layout needs as its content
// changes (a longer note, a wider line of text).
class MinimumSizeKeeper : public QObject {
public:
    explicit MinimumSizeKeeper(QWidget* window) : QObject(window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::LayoutRequest && window->layout()) {
            const QSize size = needed_size(window->layout());
            if (size != window->minimumSize())
                window->setMinimumSize(size);
        }
        return false;
    }
};

}  // namespace

QSize fit_minimum_size(QWidget* window)
{
    const QSize size = needed_size(window->layout());
    window->setMinimumSize(size);
    new MinimumSizeKeeper(window);
    return size;
}
