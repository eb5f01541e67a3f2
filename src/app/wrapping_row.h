// A row of widgets that wraps onto more lines where the window is too narrow
// for it in one: the widgets keep their order, left to right and then line
// by line, each at least as wide as it asks to be, so that no caption is
// cut. What a line has left over goes to the widgets of that line that want
// to grow (to all of them when none does), as a box layout would give it.
#pragma once

#include <QLayout>

#include <vector>

class WrappingRow : public QLayout {
public:
    WrappingRow() = default;
    ~WrappingRow() override;
    WrappingRow(const WrappingRow&) = delete;
    WrappingRow& operator=(const WrappingRow&) = delete;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

private:
    // Places the items in rect (when place is set) and returns the height
    // they take.
    int arrange(const QRect& rect, bool place) const;
    int gap() const;

    std::vector<QLayoutItem*> items;
};

// The smallest size window's layout can take: as narrow as its widest part
// allows, and at that width as low as its rows, wrapped, let it be. Set as
// the window's minimum size, and set again whenever the layout changes.
QSize fit_minimum_size(QWidget* window);
