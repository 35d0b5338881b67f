#include "ui/CouponWidget.h"
#include "model/Money.h"
#include "ui/Overlay.h"
#include "ui_CouponWidget.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QStandardItem>
#include <QStandardItemModel>

namespace {
enum CouponColumn { ColNumber, ColCouponNo, ColName, ColAmount, ColUseFlag, ColumnCount };

QStandardItem* newCell(const QString& text, Qt::Alignment alignment) {
    auto* item = new QStandardItem(text);
    item->setTextAlignment(alignment);
    return item;
}

// Whether a row that shows shown needs no change to show coupon.
bool sameRow(const CouponRec& shown, const CouponRec& coupon) {
    return shown.couponNo == coupon.couponNo && shown.ticketName == coupon.ticketName &&
           shown.amount == coupon.amount && shown.use == coupon.use;
}

QString useFlagText(CouponUse use) {
    if (use == CouponUse::NotUsable)
        return CouponWidget::tr("不可用");
    if (use == CouponUse::Usable)
        return CouponWidget::tr("可用");
    // "2" (the last check of the set failed) and whatever else the CRM may send.
    return CouponWidget::tr("异常");
}
} // namespace

CouponWidget::CouponWidget(QWidget* parent)
    : QDialog(parent), m_form(new Ui::CouponWidget), m_model(nullptr) {
    m_form->setupUi(this);
    setFocus(Qt::OtherFocusReason);

    Overlay::applyWindowConvention(this);
    setWindowFlags(Overlay::Flags);

    connect(m_form->btncheck, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_form->btncancel, &QPushButton::clicked, this, &QDialog::reject);

    m_model = new QStandardItemModel(0, ColumnCount, this);
    m_model->setHorizontalHeaderLabels({tr("序号"), tr("券号"), tr("名称"), tr("抵扣金额"), tr("是否使用")});
    m_form->tableView->setModel(m_model);
    m_form->tableView->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // Column 0 already numbers the rows; a second row number at the side would only cost width.
    m_form->tableView->verticalHeader()->hide();
    m_form->tableView->installEventFilter(this);
    connect(m_form->tableView, &QTableView::clicked, this,
            [this](const QModelIndex& index) { m_currentRow = index.row(); });
    connect(m_form->btnok, &QPushButton::clicked, this, &CouponWidget::confirmCouponNo);
    connect(m_form->btnclear, &QPushButton::clicked, this, &CouponWidget::requestClear);
    setColumnWidths();
}

CouponWidget::~CouponWidget() {
    delete m_form;
}

void CouponWidget::clearTable() {
    m_currentRow = -1;
    m_model->removeRows(0, m_model->rowCount());
    m_shown.clear();
    setColumnWidths();
}

void CouponWidget::setCoupons(const QList<CouponRec>& coupons) {
    m_currentRow = -1;
    // Each add refills the table with the whole set: rows that show their coupon already
    // stay as they are, so that a set of hundreds costs one new row, not every cell anew.
    const Qt::Alignment centred = Qt::AlignCenter;
    for (int i = 0; i < coupons.size(); ++i) {
        const CouponRec& coupon = coupons.at(i);
        if (i < m_shown.size() && sameRow(m_shown.at(i), coupon))
            continue;
        const QString texts[ColumnCount] = {QString::number(i + 1), coupon.couponNo, coupon.ticketName,
                                            Money::twoDecimals(coupon.amount), useFlagText(coupon.use)};
        if (i < m_model->rowCount()) {
            for (int col = ColCouponNo; col < ColumnCount; ++col)
                m_model->item(i, col)->setText(texts[col]);
            continue;
        }
        QList<QStandardItem*> row;
        for (int col = 0; col < ColumnCount; ++col)
            row.append(newCell(texts[col], col == ColAmount ? Qt::AlignRight | Qt::AlignVCenter : centred));
        m_model->appendRow(row);
    }
    if (m_model->rowCount() > coupons.size())
        m_model->removeRows(coupons.size(), m_model->rowCount() - coupons.size());
    m_shown = coupons;

    // After every check the first coupon is current again, so a clear never hits a stale row.
    if (!coupons.isEmpty()) {
        m_currentRow = 0;
        selectCurrentRow();
    }
    setColumnWidths();
}

int CouponWidget::run() {
    showFullScreen();
    takeKeyboard();
    return exec();
}

QString CouponWidget::currentCouponNo() const {
    const QModelIndex current = m_form->tableView->currentIndex();
    if (!current.isValid())
        return QString();
    return m_model->index(current.row(), ColCouponNo).data().toString();
}

// Up and Down move the current row within the table; past either end nothing happens.
void CouponWidget::moveCurrentRow(int step) {
    const int row = m_currentRow + step;
    if (row < 0 || row >= m_model->rowCount())
        return;
    m_currentRow = row;
    selectCurrentRow();
}

void CouponWidget::confirmCouponNo() {
    const QString couponNo = m_form->txtCode->text();
    if (couponNo.isEmpty())
        return;
    // The controller checks the coupon and refills the table before this emission returns.
    emit couponEntered(couponNo);
    // setText() rather than clear(): clear() is an edit the field remembers for undo,
    // and this dialog lives as long as the till program, entry after entry.
    m_form->txtCode->setText(QString());
    takeKeyboard();
}

void CouponWidget::requestClear() {
    emit clearRequested();
    takeKeyboard();
}

bool CouponWidget::eventFilter(QObject* watched, QEvent* event) {
    // Once the cashier has touched the table it holds the focus; its keys still steer the dialog.
    if (watched == m_form->tableView && event->type() == QEvent::KeyPress) {
        keyPressEvent(static_cast<QKeyEvent*>(event));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CouponWidget::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        reject();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        confirmCouponNo();
        break;
    case Qt::Key_F1:
        requestClear();
        break;
    case Qt::Key_F2:
        accept();
        break;
    case Qt::Key_Up:
        moveCurrentRow(-1);
        break;
    case Qt::Key_Down:
        moveCurrentRow(1);
        break;
    default:
        event->ignore();
        break;
    }
}

void CouponWidget::setColumnWidths() {
    static const int widths[ColumnCount] = {60, 188, 188, 80, 80};
    for (int col = 0; col < ColumnCount; ++col)
        m_form->tableView->setColumnWidth(col, widths[col]);
}

void CouponWidget::selectCurrentRow() {
    m_form->tableView->selectRow(m_currentRow);
    m_form->tableView->scrollTo(m_form->tableView->currentIndex());
}

void CouponWidget::takeKeyboard() {
    // The check shows the wait screen and maybe a message above us; when they are gone the activation
    // may never be reported back, yet the next coupon must land in the entry field at once.
    if (!isVisible())
        return;
    Overlay::takeKeyboard(this, m_form->txtCode);
}
