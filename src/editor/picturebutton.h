#pragma once

#include <QAbstractButton>
#include <QPixmap>

// A raised command button with a picture above its caption (TEST, SETUP, Range...).
class PictureButton : public QAbstractButton {
    Q_OBJECT

public:
    PictureButton(const QString& caption, const QPixmap& picture, QWidget* parent = nullptr);

    QPixmap picture() const { return mPicture; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap mPicture;
};
