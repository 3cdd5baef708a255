#include "CheckListModel.h"
#include "files/Parallel.h"

#include <algorithm>

CheckListModel::CheckListModel(Order order, QObject* parent)
    : QAbstractListModel(parent), m_order(order) {}

QString CheckListModel::foldedKey(QStringView text) {
    // Case-folded, and each run of digits as a marker, its length without leading zeros
    // and those digits, so that a plain code compare puts track2 before track10.
    QString key;
    key.reserve(text.size() + 4);
    const QChar* in = text.constData();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = in[i].unicode();
        if (u >= '0' && u <= '9') {
            qsizetype end = i;
            while (end < n && in[end] >= u'0' && in[end] <= u'9')
                ++end;
            qsizetype first = i;
            while (first + 1 < end && in[first] == u'0')
                ++first;
            key += u'0';
            key += QChar(char16_t(std::min<qsizetype>(end - first, 0xffff)));
            key.append(in + first, end - first);
            i = end - 1;
        } else if (u < 0x80) {
            key += QChar(u >= 'A' && u <= 'Z' ? char16_t(u + 32) : u);
        } else if (in[i].isHighSurrogate() && i + 1 < n && in[i + 1].isLowSurrogate()) {
            const char32_t f = QChar::toCaseFolded(QChar::surrogateToUcs4(in[i], in[i + 1]));
            if (QChar::requiresSurrogates(f)) {
                key += QChar(QChar::highSurrogate(f));
                key += QChar(QChar::lowSurrogate(f));
            } else {
                key += QChar(char16_t(f));
            }
            ++i;
        } else {
            key += in[i].toCaseFolded();
        }
    }
    return key;
}

namespace {

// The length of the start all texts share (a folder), cut back so that no digit run or
// character pair is split: that start orders nothing, so the keys can leave it out.
qsizetype sharedStart(const std::vector<QString>& texts) {
    if (texts.empty())
        return 0;
    const QString& first = texts.front();
    qsizetype n = first.size();
    for (const QString& t : texts) {
        n = std::min(n, t.size());
        qsizetype i = 0;
        while (i < n && t[i] == first[i])
            ++i;
        n = i;
    }
    while (n > 0 && (first[n - 1].isDigit() || first[n - 1].isHighSurrogate()))
        --n;
    return n;
}

bool lessKeyed(const QString& keyA, const QString& a, const QString& keyB, const QString& b) {
    const int c = QString::compare(keyA, keyB, Qt::CaseSensitive);
    return c != 0 ? c < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
}

} // namespace

bool CheckListModel::lessText(const QString& a, const QString& b) {
    return lessKeyed(foldedKey(a), a, foldedKey(b), b);
}

void CheckListModel::clear() {
    if (m_texts.empty() && m_current == -1)
        return;
    beginResetModel();
    m_texts = std::vector<QString>(); // the room too: "= {}" would keep it
    m_marks = std::vector<char>();
    m_checked = 0;
    endResetModel();
    setCurrentIndex(-1);
}

void CheckListModel::addItem(const QString& text) {
    auto at = m_texts.end();
    if (m_order == Order::Sorted)
        at = std::upper_bound(m_texts.begin(), m_texts.end(), text,
                              [](const QString& t, const QString& i) { return lessText(t, i); });
    const int row = int(at - m_texts.begin());
    beginInsertRows(QModelIndex(), row, row);
    m_texts.insert(at, text);
    m_marks.insert(m_marks.begin() + row, 0);
    endInsertRows();
    if (m_current >= row)
        setCurrentIndex(m_current + 1);
}

void CheckListModel::setItems(std::vector<QString> texts) {
    if (m_order == Order::Sorted) {
        // Fold each text once; comparing folded keys is then a plain code compare.
        const qsizetype shared = sharedStart(texts);
        std::vector<std::pair<QString, QString>> keyed(texts.size());
        ParallelFor(texts.size(), [&](size_t i) {
            keyed[i] = {foldedKey(QStringView(texts[i]).mid(shared)), std::move(texts[i])};
        });
        std::sort(keyed.begin(), keyed.end(), [](const auto& x, const auto& y) {
            return lessKeyed(x.first, x.second, y.first, y.second);
        });
        for (size_t i = 0; i < keyed.size(); ++i)
            texts[i] = std::move(keyed[i].second);
    }
    beginResetModel();
    m_texts = std::move(texts);
    m_marks.assign(m_texts.size(), 0);
    m_marks.shrink_to_fit();
    m_checked = 0;
    endResetModel();
    setCurrentIndex(-1);
}

void CheckListModel::setText(int row, const QString& text) {
    if (row < 0 || row >= count())
        return;
    m_texts[size_t(row)] = text;
    const QModelIndex i = index(row);
    emit dataChanged(i, i, {Qt::DisplayRole});
}

void CheckListModel::setChecked(int row, bool checked) {
    if (row < 0 || row >= count() || isChecked(row) == checked)
        return;
    m_marks[size_t(row)] = checked;
    m_checked += checked ? 1 : -1;
    const QModelIndex i = index(row);
    emit dataChanged(i, i, {Qt::CheckStateRole});
    emit markChanged(row);
}

void CheckListModel::setAllChecked(bool checked) {
    const int n = count();
    int first = -1, last = -1;
    for (int row = 0; row < n; ++row) {
        if (isChecked(row) == checked)
            continue;
        m_marks[size_t(row)] = checked;
        m_checked += checked ? 1 : -1;
        if (first < 0)
            first = row;
        last = row;
        emit markChanged(row);
    }
    if (first >= 0)
        emit dataChanged(index(first), index(last), {Qt::CheckStateRole});
}

void CheckListModel::swapItems(int a, int b) {
    if (a < 0 || b < 0 || a >= count() || b >= count() || a == b)
        return;
    std::swap(m_texts[size_t(a)], m_texts[size_t(b)]);
    std::swap(m_marks[size_t(a)], m_marks[size_t(b)]);
    const QModelIndex ia = index(std::min(a, b)), ib = index(std::max(a, b));
    emit dataChanged(ia, ib, {Qt::DisplayRole, Qt::CheckStateRole});
}

void CheckListModel::reorder(const std::vector<int>& order) {
    if (order.size() != m_texts.size())
        return;
    std::vector<QString> texts(order.size());
    std::vector<char> marks(order.size());
    int current = -1;
    for (size_t i = 0; i < order.size(); ++i) {
        texts[i] = std::move(m_texts[size_t(order[i])]);
        marks[i] = m_marks[size_t(order[i])];
        if (order[i] == m_current)
            current = int(i);
    }
    beginResetModel();
    m_texts = std::move(texts);
    m_marks = std::move(marks);
    m_current = -1;
    endResetModel();
    setCurrentIndex(current);
}

void CheckListModel::setCurrentIndex(int row) {
    if (row < -1 || row >= count())
        row = -1;
    if (row == m_current)
        return;
    m_current = row;
    emit currentChanged(row);
}

int CheckListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant CheckListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: // the whole path, where the list has to shorten it
        return m_texts[size_t(index.row())];
    case Qt::CheckStateRole:
        return isChecked(index.row()) ? Qt::Checked : Qt::Unchecked;
    default:
        return {};
    }
}

bool CheckListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.row() >= count() || role != Qt::CheckStateRole)
        return false;
    setChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags CheckListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
           Qt::ItemNeverHasChildren;
}
