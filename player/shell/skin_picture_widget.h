#pragma once

#include <QImage>
#include <QLabel>

// A picture control of a skinned window: shows its design picture until a
// skin file replaces it, takes the size of its picture, shows pixels of
// the purple key colour as transparent, and reports the mouse.
class SkinPicture : public QLabel
{
    Q_OBJECT
public:
    SkinPicture(const QString &name, const QImage &designPicture, QWidget *parent);

    // Shows `picture` and takes its size; false (and no change) for a null
    // picture.
    bool setPicture(const QImage &picture);
    QImage picture() const { return m_picture; }
    QImage designPicture() const { return m_design; }

Q_SIGNALS:
    void clicked();
    void pressed(Qt::MouseButton button, const QPoint &pos);
    void moved(const QPoint &pos);
    void released(Qt::MouseButton button, const QPoint &pos);

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QImage m_design;
    QImage m_picture;
};
