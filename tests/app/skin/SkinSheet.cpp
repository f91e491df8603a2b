// zo_skin_sheet OUT.png: lays the skinned controls out as the main window
// does (player mode above, network mode below) and the raw strips beside
// them, and saves a picture at the screen's density, for looking at the
// artwork (QT_SCALE_FACTOR=2 gives the 2x picture).
#include <QApplication>
#include <QPainter>
#include <QWidget>

#include <cstdio>

#include "app/skin/CTransparentStatic.h"
#include "app/skin/CZoDvrStatus.h"
#include "app/skin/CZoSkinButton.h"
#include "app/skin/CZoSkinDialog.h"
#include "app/skin/CZoSkinSlider.h"
#include "app/skin/SkinArt.h"

using namespace zo::app;

namespace {

struct Place {
    int id;
    int x, y;
    char anchor;  // f fixed, r right, b bottom, c corner
};

QWidget* MakeWindow(QWidget* parent, int mode) {
    const int W = 613, H = 486;
    auto* dlg = new CZoSkinDialog(parent);
    dlg->setWindowFlags(Qt::Widget);
    dlg->SetSkinBitmap(SkinId::kSkin);
    dlg->SetRoundCorners(12, 12);
    dlg->resize(W, H);
    auto at = [&](const Place& p) {
        switch (p.anchor) {
        case 'r': return QPoint(p.x + W - 608, p.y);
        case 'b': return QPoint(p.x, p.y + H - 300);
        case 'c': return QPoint(p.x + W - 608, p.y + H - 300);
        default: return QPoint(p.x, p.y);
        }
    };
    auto* video = new QWidget(dlg);
    video->setAutoFillBackground(true);
    QPalette pal = video->palette();
    pal.setColor(QPalette::Window, QColor(8, 8, 10));
    video->setPalette(pal);
    video->setGeometry(2, 65, W - 5, H - 140);
    auto* title = new CTransparentStatic(dlg);
    title->setText("Zo7R Viewer");
    title->SetTextColor(QColor(200, 206, 214));
    title->setGeometry(44, 4, 300, 20);
    std::vector<Place> places = {{285, 12, 4, 'f'}, {261, 567, 6, 'r'}, {264, 584, 6, 'r'},
                                 {359, 10, 30, 'f'}, {360, 90, 30, 'f'}, {371, 516, 229, 'c'}};
    if (mode == 1) {
        for (Place p : std::vector<Place>{{281, 10, 262, 'b'},  {230, 49, 262, 'b'},  {282, 80, 262, 'b'},
                                          {237, 111, 262, 'b'}, {227, 142, 262, 'b'}, {236, 173, 262, 'b'},
                                          {200, 204, 262, 'b'}, {231, 235, 262, 'b'}, {242, 274, 262, 'b'},
                                          {300, 305, 262, 'b'}, {245, 336, 262, 'b'}})
            places.push_back(p);
    } else {
        for (Place p : std::vector<Place>{{333, 10, 262, 'b'},  {372, 67, 256, 'b'},  {374, 116, 256, 'b'},
                                          {375, 165, 256, 'b'}, {376, 214, 256, 'b'}, {377, 279, 256, 'b'},
                                          {378, 328, 256, 'b'}, {379, 377, 256, 'b'}, {380, 426, 256, 'b'},
                                          {381, 475, 256, 'b'}})
            places.push_back(p);
    }
    int n = 0;
    for (const Place& p : places) {
        auto* b = new CZoSkinButton(dlg);
        b->SetSkin(p.id);
        b->move(at(p));
        // Show a few states: pressed, checked tab, disabled.
        if (p.id == 359 && mode == 1) b->SetPushed(true);
        if (p.id == 360 && mode == 2) b->SetPushed(true);
        if (p.id == 231) b->SetPushed(true);
        if (p.id == 237) b->setEnabled(false);
        ++n;
    }
    auto* status = new CZoDvrStatus(dlg);
    status->SetBitmap(SkinId::kStatusStrip);
    status->setGeometry(13, H - 74, W - 116, 17);
    status->SetMode(mode);
    status->SetPlayerState(2);
    status->SetConnectState(3);
    status->SetTexts("PLAY  x 128.0", "2026/12/08 10:30:00");
    if (mode == 1) {
        auto* pos = new CZoSkinSlider(dlg, 1658);
        pos->SetChannelBitmaps(215, 216, false);
        pos->SetThumbBitmaps(218, 217, true);
        pos->SetDrawFocus(false);
        pos->setGeometry(13, H - 52, W - 26, pos->height());
        pos->SetRange(0, 1000);
        pos->SetPos(380);
    }
    auto* vol = new CZoSkinSlider(dlg, 1638);
    vol->SetChannelBitmaps(277, 276, true);
    vol->SetThumbBitmaps(275, 278, true);
    vol->SetMargins(4, 1, 4, 0);
    vol->SetDrawFocus(false);
    vol->SetRange(0, 65535);
    vol->SetPos(45000);
    vol->move(at({0, 532, 229, 'c'}));
    return dlg;
}

// The raw strips on the body colour, every frame visible.
class StripPanel : public QWidget {
public:
    explicit StripPanel(QWidget* parent) : QWidget(parent) {}
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(30, 33, 39));
        const int ids[] = {200, 282, 227, 230, 231, 236, 237, 281, 242, 300, 245, 306, 333, 372, 374, 375, 376,
                           377, 378, 379, 380, 381, 371, 261, 264, 285, 359, 360, 215, 216, 217, 218, 275, 276,
                           277, 278, 290, 320};
        int x = 8, y = 8, column = 0;
        for (int id : ids) {
            const QPixmap pm = LoadSkinPixmap(id, this);
            const QSize s = LogicalSize(pm);
            if (y + s.height() > height() - 8) {
                y = 8;
                x += column + 12;
                column = 0;
            }
            p.drawPixmap(QPointF(x, y), pm);
            y += s.height() + 6;
            column = std::max(column, s.width());
        }
        p.drawPixmap(QPointF(x + column + 12, 8), AppIcon().pixmap(QSize(128, 128)));
        p.drawPixmap(QPointF(x + column + 12, 150), AppIcon().pixmap(QSize(32, 32)));
        p.drawPixmap(QPointF(x + column + 52, 150), AppIcon().pixmap(QSize(16, 16)));
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: zo_skin_sheet OUT.png\n");
        return 2;
    }
    QWidget sheet;
    sheet.resize(613 * 2 + 30 + 900, 486 + 20);
    QPalette pal = sheet.palette();
    pal.setColor(QPalette::Window, QColor(120, 124, 130));
    sheet.setPalette(pal);
    sheet.setAutoFillBackground(true);
    MakeWindow(&sheet, 1)->move(10, 10);
    MakeWindow(&sheet, 2)->move(613 + 20, 10);
    auto* strips = new StripPanel(&sheet);
    strips->setGeometry(613 * 2 + 30, 10, 890, 486);
    sheet.show();
    const QPixmap shot = sheet.grab();
    if (!shot.save(QString::fromLocal8Bit(argv[1]))) return 1;
    return 0;
}
