#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

// The progress bar under the operation buttons: a filled part and an empty part with the caption
// (or the percentage) centred over both, drawn in two colours so it reads on either part. Qt
// composes every paint in the window's backing store and the background is never erased on its
// own, so frequent updates do not flicker. UI thread only.
class CTextProgressCtrl : public QWidget {
    Q_OBJECT

public:
    explicit CTextProgressCtrl(QWidget* parent = nullptr);

    // Sets the position and repaints at once, but only when the filled part's width in whole
    // pixels changes. Returns the previous position.
    int SetPos(int position);
    int GetPos() const { return m_nPosition; }

    // Stores the caption drawn instead of the percentage (empty: the percentage) without
    // repainting; the caller updates the control when it wants the new text seen.
    void SetCaption(const QString& caption) { m_strCaption = caption; }

    // The window text: the same caption, but setting a different one repaints.
    void SetWindowText(const QString& text);
    QString GetWindowText() const { return m_strCaption; }

    // The text a paint draws: the caption, or the percentage as "%d%%".
    QString DisplayText() const;
    // Width in pixels of the filled part for the current position and width.
    int FilledWidth() const;

    QSize sizeHint() const override;

    // While flashing the whole bar is plain red: a failure seen at a glance, also in the active
    // window, where the window manager shows no alert.
    void SetFlashing(bool flashing);
    bool IsFlashing() const { return m_bFlashing; }
    static QColor FlashColor() { return QColor(0xD0, 0x10, 0x10); }
    // A failed run's result stays in sight: the filled part is drawn in the flash's red until the
    // next progress of another run clears it.
    void SetFailed(bool failed);
    bool IsFailed() const { return m_bFailed; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    double Fraction() const;

    int m_nPosition = 0;
    int m_nUpper = 100;
    int m_nLower = 0;
    QString m_strCaption;
    bool m_bShowText = true;
    bool m_bFlashing = false;
    bool m_bFailed = false;
    int m_nDrawnWidth = -1;
    QColor m_clrBar;
    QColor m_clrBack;
    QColor m_clrTextOnBack;
    QColor m_clrTextOnBar;
};
