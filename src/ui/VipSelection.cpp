#include "ui/VipSelection.h"
#include "ui/Overlay.h"
#include "ui_VipSelection.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QStandardItemModel>

namespace {
enum Column { ColName, ColPhone, ColCardNo, ColAddress, ColumnCount };
}

// Always a top-level window of its own, whatever the caller passes.
VipSelection::VipSelection(QWidget*) : QWidget(nullptr), m_form(new Ui::VipSelection), m_model(nullptr) {
    m_form->setupUi(this);
    m_form->label_2->show();
    Overlay::applyWindowConvention(this);
    // Nothing in the window takes the focus, so keys may land on any of these;
    // they all belong to the list's keyboard control.
    m_form->tableView->installEventFilter(this);
    m_form->widgetback->installEventFilter(this);
    m_form->widgetblackground->installEventFilter(this);

    m_model = new QStandardItemModel(0, ColumnCount, this);
    m_model->setHorizontalHeaderLabels({tr("姓名"), tr("电话"), tr("卡号"), tr("地址")});
    QTableView* view = m_form->tableView;
    view->setModel(m_model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setFocusPolicy(Qt::NoFocus);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QHeaderView* header = view->horizontalHeader();
    header->setSectionResizeMode(ColName, QHeaderView::Fixed);
    header->setSectionResizeMode(ColPhone, QHeaderView::Fixed);
    header->setSectionResizeMode(ColCardNo, QHeaderView::Fixed);
    header->setSectionResizeMode(ColAddress, QHeaderView::Stretch);
    header->resizeSection(ColName, 94);
    header->resizeSection(ColPhone, 120);
    header->resizeSection(ColCardNo, 120);
    connect(view, &QTableView::clicked, this, [this](const QModelIndex& index) { m_row = index.row(); });
    connect(m_form->btnReturn, &QPushButton::clicked, this, [this] { finish(0); });
    connect(m_form->btnClose, &QPushButton::clicked, this, [this] { finish(0); });
}

VipSelection::~VipSelection() {
    delete m_form;
}

int VipSelection::run(const QList<MemberRec>& candidates) {
    m_cardNo.clear();
    m_model->removeRows(0, m_model->rowCount());
    for (int i = 0; i < candidates.size(); ++i) {
        const MemberRec* member = &candidates.at(i);
        const QString cells[ColumnCount] = {member->name, member->mobile, member->cardNo, member->address};
        for (int column = 0; column < ColumnCount; ++column) {
            auto* item = new QStandardItem(cells[column]);
            item->setTextAlignment(Qt::AlignCenter);
            m_model->setItem(i, column, item);
        }
    }
    // Rows are fitted once the window is laid out: before that the address column
    // has not stretched yet, and every address would look like it needs two lines.
    showFullScreen();
    activateWindow();
    m_form->tableView->resizeRowsToContents();
    m_row = 0;
    m_form->tableView->selectRow(0);
    m_form->tableView->scrollTo(m_model->index(0, 0));
    return m_loop.exec();
}

void VipSelection::finish(int result) {
    Overlay::endRun(m_loop, this, result);
}

// Confirming an empty list is allowed; the caller then finds no card number.
void VipSelection::confirm() {
    m_cardNo = m_model->index(m_row, ColCardNo).data().toString();
    finish(1);
}

// Selecting the row makes it current, and the view scrolls to its current row.
void VipSelection::moveTo(int row) {
    m_row = row;
    m_form->tableView->selectRow(row);
}

bool VipSelection::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == m_form->tableView || watched == m_form->widgetback ||
                                              watched == m_form->widgetblackground)) {
        keyPressEvent(static_cast<QKeyEvent*>(event));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void VipSelection::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        finish(0);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        confirm();
        break;
    case Qt::Key_Up:
        if (m_row > 0)
            moveTo(m_row - 1);
        break;
    case Qt::Key_Down:
        if (m_row < m_model->rowCount() - 1)
            moveTo(m_row + 1);
        break;
    default:
        break;
    }
}
