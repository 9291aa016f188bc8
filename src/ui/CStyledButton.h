#pragma once

#include <QPushButton>
#include <QString>
#include <cstdint>

// An operation button: flat, with a 32 by 32 icon beside its caption, a busy icon shown while its
// operation runs, and for some buttons an auto-complete mark the right mouse button toggles (the
// caption gets the "(自动)" prefix and a lighter face). Clicks are refused through a flag the
// dialog sets, never by disabling the button. UI thread only.
class CStyledButton : public QPushButton {
    Q_OBJECT

public:
    explicit CStyledButton(const QString& caption, QWidget* parent = nullptr);

    // One-time styling: the parent's font, the flat look, the icons; icon ids name the images of
    // the resource file (0: none).
    void Setup(QWidget* parent, bool markable, bool iconSwitching, int normalIcon, int busyIcon);

    // Shows the busy (true) or the normal (false) icon, when the button has that icon.
    void SetBusy(bool busy);
    bool IsBusyShown() const { return m_bBusyShown; }
    // The icon id now shown (0: none).
    int ShownIcon() const { return m_nShownIcon; }

    // Sets the auto-complete mark and shows it in the caption and the face colour.
    void SetAutoMark(bool marked);
    bool IsAutoMarked() const { return m_bAutoMark; }

    // Whether the dialog's click handler acts on a click of this button.
    void SetAcceptClicks(bool accept) { m_bAcceptClicks = accept; }
    bool AcceptsClicks() const { return m_bAcceptClicks; }

    // The face colour as 0x00BBGGRR.
    std::uint32_t FaceColor() const;

    // The image of an icon id from the resource file.
    static QIcon IconOf(int id);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Toggles the mark of a markable button.
    void OnRButtonUp();
    void SetFaceColor(std::uint32_t colorRef);
    void ShowIcon(int id);

    std::uint32_t m_clrFace = 0;
    bool m_bAutoMark = false;
    bool m_bBusyShown = false;
    QString m_strMarkedCaption;
    QString m_strCaption;
    int m_nBusyIcon = 0;
    int m_nNormalIcon = 0;
    int m_nShownIcon = 0;
    bool m_bMarkable = false;
    bool m_bAcceptClicks = true;
};
