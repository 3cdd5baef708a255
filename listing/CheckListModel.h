#pragma once

#include <QAbstractListModel>
#include <QString>

#include <vector>

// A list of texts with check marks, as the check-box lists of the window show them.
// The original file list keeps added items in ascending order ignoring case; the
// extension lists append. Counts are kept up to date, so asking for them costs nothing.
class CheckListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum class Order { Appended, Sorted };

    explicit CheckListModel(Order order = Order::Appended, QObject* parent = nullptr);

    // Natural order: runs of digits by their value, letters ignoring case, then by exact
    // character codes, so the order is total and the same whatever the locale.
    static bool lessText(const QString& a, const QString& b);
    // The key of that order: case-folded, with each digit run made comparable by value.
    static QString foldedKey(QStringView text);

    void clear();
    void addItem(const QString& text);
    // Replaces all items by texts, unchecked; a sorted list sorts them once.
    void setItems(std::vector<QString> texts);

    int count() const { return int(m_texts.size()); }
    int checkedCount() const { return m_checked; }
    const QString& text(int row) const { return m_texts[size_t(row)]; }
    void setText(int row, const QString& text);
    bool isChecked(int row) const { return m_marks[size_t(row)] != 0; }
    void setChecked(int row, bool checked);
    // Sets every mark; one notification per mark changed, one view update in all.
    void setAllChecked(bool checked);
    // Exchanges two items with their marks: a mark belongs to its file.
    void swapItems(int a, int b);
    // Puts the items in the order given (order[i]: the row that comes i-th), each with its
    // mark; the current item stays on its file.
    void reorder(const std::vector<int>& order);

    int currentIndex() const { return m_current; }
    void setCurrentIndex(int row);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // Every change of a mark, by the user or from code.
    void markChanged(int row);
    void currentChanged(int row);

private:
    Order m_order;
    // Side by side rather than as pairs: a mark costs a byte, not the eight of padding.
    std::vector<QString> m_texts;
    std::vector<char> m_marks;
    int m_checked = 0;
    int m_current = -1;
};
