#include "ui/MapPanelWidget.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>

TMapPanelWidget::TMapPanelWidget(TMapPanel &panel, QWidget *parent)
    : QWidget(parent), m_panel(panel) {
    // The panel paints every pixel itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    connect(&m_panel, &TMapPanel::repaintRequested, this, qOverload<>(&QWidget::update));
    connect(&m_panel, &TMapPanel::enabledChanged, this, &QWidget::setEnabled);
    m_panel.setSize(size());
}

void TMapPanelWidget::paintEvent(QPaintEvent *) {
    QPainter p(this);
    m_panel.Paint(p);
}

void TMapPanelWidget::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    m_panel.setSize(size());
}

void TMapPanelWidget::mousePressEvent(QMouseEvent *event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        m_leftPressed = true;
    emit mousePressed(pos, event->button());
}

void TMapPanelWidget::mouseMoveEvent(QMouseEvent *event) {
    emit mouseMoved(event->position().toPoint(), event->buttons());
}

void TMapPanelWidget::mouseReleaseEvent(QMouseEvent *event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && m_leftPressed) {
        m_leftPressed = false;
        if (rect().contains(pos))
            emit clicked(pos);
    }
}

void TMapPanelWidget::wheelEvent(QWheelEvent *event) {
    m_wheelRest += event->angleDelta().y();
    const int steps = m_wheelRest / QWheelEvent::DefaultDeltasPerStep;
    m_wheelRest -= steps * QWheelEvent::DefaultDeltasPerStep;
    if (steps != 0)
        emit wheelTurned(steps);
    event->accept();
}

TMapSelectForm::TMapSelectForm(const QStringList &names, int current, QWidget *parent)
    : QDialog(parent), m_list(new QListWidget) {
    setWindowTitle(QStringLiteral("Выбор карты"));
    m_list->addItems(names);
    if (current >= 0 && current < names.size())
        m_list->setCurrentRow(current);
    else if (!names.isEmpty())
        m_list->setCurrentRow(0);
    auto *buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    resize(360, 300);
}

int TMapSelectForm::selectedIndex() const {
    return m_list->currentRow();
}

int TMapSelectForm::Select(const QStringList &names, int current, QWidget *parent) {
    TMapSelectForm form(names, current, parent);
    if (form.exec() != QDialog::Accepted)
        return -1;
    return form.selectedIndex();
}
