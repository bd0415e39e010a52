#pragma once

#include "maps/MapPanel.h"

#include <QDialog>
#include <QWidget>

class QListWidget;

// Hosts the raster-map view: passes its size on, paints through it and repaints when it asks.
// Mouse and wheel input is forwarded as signals; what they do (dragging the camera, picking,
// zooming) belongs to the owner of the map frame.
class TMapPanelWidget : public QWidget {
    Q_OBJECT
public:
    // The panel belongs to the session; the widget only hosts it.
    explicit TMapPanelWidget(TMapPanel &panel, QWidget *parent = nullptr);

    TMapPanel &panel() { return m_panel; }
    const TMapPanel &panel() const { return m_panel; }

signals:
    void mousePressed(const QPoint &pos, Qt::MouseButton button);
    void mouseMoved(const QPoint &pos, Qt::MouseButtons buttons);
    // A left-button press and release on the panel.
    void clicked(const QPoint &pos);
    // Positive when turned away from the user (zoom in), one step per notch.
    void wheelTurned(int steps);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    TMapPanel &m_panel;
    bool m_leftPressed = false;
    int m_wheelRest = 0; // a touchpad's fractions of a notch
};

// "Выбор карты": the list of map names; OK or a double click chooses.
class TMapSelectForm : public QDialog {
    Q_OBJECT
public:
    TMapSelectForm(const QStringList &names, int current, QWidget *parent = nullptr);
    int selectedIndex() const;

    // The chosen index, or -1 when cancelled.
    static int Select(const QStringList &names, int current, QWidget *parent = nullptr);

private:
    QListWidget *m_list;
};
