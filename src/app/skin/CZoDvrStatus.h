// CZoDvrStatus: the main window's status strip, painted from the bitmap
// strip 320 (386 x 96, six rows of 16 pixels).
//
// Player mode (1): the state icon (strip column 0..15, row by the engine
// state) at (4, 0), the first text (state) in the box x 32..132 and the
// second text (time) from x 132 to the right edge, in the text colour, each
// on one line from the left of its box (elided when it does not fit).
// Network mode (2): the connection picture of the connect state (102 x 16
// at strip x 16), four channel lamps at x 112 + 24 i and the single lamp at
// x 340, their rows chosen by the connect state and the lamp masks.
//
// The strip's colours are mapped when painting: its colour (63,181,255)
// becomes colour B, (23,64,103) colour A, black the background colour. The
// accessible name is the two texts (network mode: the connection state).
// User-interface thread only.
#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <cstdint>

namespace zo::app {

class CZoDvrStatus : public QWidget {
    Q_OBJECT
public:
    enum Mode { kPlayerMode = 1, kNetworkMode = 2 };

    // Bit i belongs to channel lamp i (0..3); bit 0 of `single` to the
    // single lamp. Nothing in the viewer sets them yet: all clear.
    struct LampMasks {
        uint16_t disabled = 0;
        uint16_t second = 0;
        uint16_t first = 0;
        uint16_t third = 0;
        uint16_t single = 0;
    };

    explicit CZoDvrStatus(QWidget* parent = nullptr);

    // Selects the strip (resource 320); false for an unknown id.
    bool SetBitmap(int id);
    void SetMode(int mode);
    int GetMode() const { return mode_; }
    void SetPlayerState(int state);
    int GetPlayerState() const { return playerState_; }
    // The caller repaints when the value changed (update()).
    void SetConnectState(int state);
    int GetConnectState() const { return connectState_; }
    // Stores both texts and repaints.
    void SetTexts(const QString& first, const QString& second);
    QString FirstText() const { return first_; }
    QString SecondText() const { return second_; }
    void SetLampMasks(const LampMasks& masks);
    void SetColours(const QColor& a, const QColor& b, const QColor& background);
    void SetTextColor(const QColor& colour);

    // Strip rows (y of the 16-pixel row) the paint uses.
    static int PlayerIconRow(int playerState);
    static int ConnectionRow(int connectState);
    static int LampRow(int lamp, int connectState, const LampMasks& masks);
    static int SingleLampRow(int connectState, const LampMasks& masks);
    // A short description of a connect state ("Offline", "Online", ...).
    static QString ConnectStateName(int connectState);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void UpdateAccessibleName();
    void MapColours();
    void ReloadForScreen();

    int bitmapId_ = 0;
    QPixmap strip_;   // as loaded
    QPixmap mapped_;  // with the colour map applied
    int mode_ = kPlayerMode;
    int playerState_ = 0;
    int connectState_ = 0;
    LampMasks masks_;
    QString first_;
    QString second_;
    QColor colourA_{23, 64, 103};
    QColor colourB_{63, 181, 255};
    QColor background_{0, 0, 0};
    QColor textColour_{0, 255, 0};
    QFont font_;
};

}  // namespace zo::app
