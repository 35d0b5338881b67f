#include "ui/CouponWidget.h"
#include "model/Money.h"
#include "ui/Overlay.h"
#include "ui_CouponWidget.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStandardItem>
#include <QStandardItemModel>

namespace {
enum CouponColumn { ColNumber, ColCouponNo, ColName, ColAmount, ColUseFlag, ColumnCount };

QStandardItem* NewCell(const QString& p_sText, Qt::Alignment p_Align) {
    auto* item = new QStandardItem(p_sText);
    item->setTextAlignment(p_Align);
    return item;
}

QString UseFlagText(CouponUse p_Use) {
    if (p_Use == CouponUse::NotUsable)
        return CouponWidget::tr("不可用");
    if (p_Use == CouponUse::Usable)
        return CouponWidget::tr("可用");
    // "2" (the last check of the set failed) and whatever else the CRM may send.
    return CouponWidget::tr("异常");
}
} // namespace

CouponWidget::CouponWidget(QWidget* parent)
    : QDialog(parent), ui(new Ui::CouponWidget), m_model(nullptr), m_nCurrentRow(-1) {
    ui->setupUi(this);
    setFocus(Qt::OtherFocusReason);

    Overlay::ApplyWindowConvention(this);
    setWindowFlags(Overlay::Flags);

    connect(ui->btncheck, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btncancel, &QPushButton::clicked, this, &QDialog::reject);

    m_model = new QStandardItemModel(0, ColumnCount, this);
    m_model->setHorizontalHeaderLabels({tr("序号"), tr("券号"), tr("名称"), tr("抵扣金额"), tr("是否使用")});
    ui->tableView->setModel(m_model);
    ui->tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    ui->tableView->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // Column 0 already numbers the rows; a second row number at the side would only cost width.
    ui->tableView->verticalHeader()->hide();
    ui->tableView->installEventFilter(this);
    connect(ui->tableView, &QTableView::clicked, this, &CouponWidget::TableClicked);
    SetColumnWidths();
}

CouponWidget::~CouponWidget() {
    delete ui;
}

void CouponWidget::InitTable() {
    m_nCurrentRow = -1;
    m_model->removeRows(0, m_model->rowCount());
    SetColumnWidths();
}

void CouponWidget::SetCoupons(const QList<CouponRec>& p_Coupons) {
    m_nCurrentRow = -1;
    m_model->removeRows(0, m_model->rowCount());

    const Qt::Alignment centred = Qt::AlignCenter;
    for (int i = 0; i < p_Coupons.size(); ++i) {
        const CouponRec* coupon = &p_Coupons.at(i);
        m_model->setItem(i, ColNumber, NewCell(QString::number(i + 1), centred));
        m_model->setItem(i, ColCouponNo, NewCell(coupon->couponNo, centred));
        m_model->setItem(i, ColName, NewCell(coupon->ticketName, centred));
        m_model->setItem(i, ColAmount,
                         NewCell(Money::twoDecimals(coupon->amount), Qt::AlignRight | Qt::AlignVCenter));
        m_model->setItem(i, ColUseFlag, NewCell(UseFlagText(coupon->use), centred));
    }

    // After every check the first coupon is current again, so a clear never hits a stale row.
    if (!p_Coupons.isEmpty()) {
        m_nCurrentRow = 0;
        SelectCurrentRow();
    }
    SetColumnWidths();
}

int CouponWidget::Exec() {
    showFullScreen();
    TakeKeyboard();
    return exec();
}

QString CouponWidget::CurrentCouponNo() {
    const QModelIndex current = ui->tableView->currentIndex();
    if (!current.isValid())
        return QString();
    return m_model->index(current.row(), ColCouponNo).data().toString();
}

void CouponWidget::TableClicked(const QModelIndex& index) {
    m_nCurrentRow = index.row();
}

void CouponWidget::previousSaleNo() {
    if (m_nCurrentRow > 0) {
        --m_nCurrentRow;
        SelectCurrentRow();
    }
}

void CouponWidget::nextSaleNo() {
    if (m_nCurrentRow < m_model->rowCount() - 1) {
        ++m_nCurrentRow;
        SelectCurrentRow();
    }
}

void CouponWidget::on_btnok_clicked() {
    const QString couponNo = ui->txtCode->text();
    if (couponNo.isEmpty())
        return;
    // The controller checks the coupon and refills the table before this emission returns.
    emit SignCouponCheck(couponNo);
    // setText() rather than clear(): clear() is an edit the field remembers for undo,
    // and this dialog lives as long as the till program, entry after entry.
    ui->txtCode->setText(QString());
    TakeKeyboard();
}

void CouponWidget::on_btnclear_clicked() {
    emit SignCouponClear();
    TakeKeyboard();
}

bool CouponWidget::eventFilter(QObject* watched, QEvent* event) {
    // Once the cashier has touched the table it holds the focus; its keys still steer the dialog.
    if (watched == ui->tableView && event->type() == QEvent::KeyPress) {
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
        on_btnok_clicked();
        break;
    case Qt::Key_F1:
        on_btnclear_clicked();
        break;
    case Qt::Key_F2:
        accept();
        break;
    case Qt::Key_Up:
        previousSaleNo();
        break;
    case Qt::Key_Down:
        nextSaleNo();
        break;
    default:
        event->ignore();
        break;
    }
}

void CouponWidget::SetColumnWidths() {
    static const int widths[ColumnCount] = {60, 188, 188, 80, 80};
    for (int col = 0; col < ColumnCount; ++col)
        ui->tableView->setColumnWidth(col, widths[col]);
}

void CouponWidget::SelectCurrentRow() {
    ui->tableView->selectRow(m_nCurrentRow);
    ui->tableView->scrollTo(ui->tableView->currentIndex());
}

void CouponWidget::TakeKeyboard() {
    // The check shows the wait screen and maybe a message above us; when they are gone the activation
    // may never be reported back, yet the next coupon must land in the entry field at once.
    if (!isVisible())
        return;
    Overlay::TakeKeyboard(this, ui->txtCode);
}
