#include "render/CZoWnd.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "codec/ColourConvert.h"
#include "render/BitmapFile.h"

namespace zo::render {

std::atomic<bool> CZoWnd::blitSelfTestDone_{false};

namespace {

constexpr int kYPlaneBytes = 640 * 272;
constexpr int kTitleSurfaceWidthPx = CZoWnd::kVideoSurfaceWidthPx - 1;
constexpr int kTitleSurfaceHeightPx = CZoWnd::kVideoSurfaceHeightPx - 1;
constexpr int kTitleInsetXPx = 4;
constexpr int kTitleInsetYPx = 2;
constexpr int kSelfTestSidePx = 64;
// The zoom overview: a fifth of the cell's width, in cells at least this big.
constexpr int kOverviewMinCellPx = 64;
constexpr uint32_t kOverviewShadow = 0xFF141414u;
constexpr uint32_t kOverviewFrame = 0xFFC8C8C8u;
constexpr uint32_t kOverviewPart = 0xFFFFD040u;

std::unique_ptr<uint8_t[]> HeapAllocate(size_t bytes) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[bytes]);
}

QGuiApplication* GuiApplication() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()); }

DisplayPixelFormat DetectDisplayFormat() {
    if (GuiApplication() != nullptr) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const int depth = screen->depth();
            if (depth <= 8)
                return PixelFormatOfCode(kNoSurfaceFormat);
            if (depth == 15)
                return PixelFormatOfCode(kRgb555);
            if (depth == 16)
                return PixelFormatOfCode(kRgb565);
            // A depth of 24 keeps its pixels in 32 bits on X and Wayland:
            // the surfaces then copy to the screen row by row.
        }
    }
    return PixelFormatOfCode(kRgb32);
}

size_t PictureBytes(int widthPx, int heightPx) {
    return static_cast<size_t>(widthPx) * static_cast<size_t>(heightPx) * 3 / 2;
}

bool ValidPictureSize(int widthPx, int heightPx) {
    return (widthPx == 320 || widthPx == 640) &&
           (heightPx == 112 || heightPx == 136 || heightPx == 224 || heightPx == 272);
}

QColor ColourOf(uint32_t colourRef) {
    return QColor(static_cast<int>(colourRef & 0xFF), static_cast<int>((colourRef >> 8) & 0xFF),
                  static_cast<int>((colourRef >> 16) & 0xFF));
}

// A new picture into a surface: the video-range converter of its format
// (there is none for BGR 5-6-5, which takes the full-range one).
void ConvertNewPicture(int format, uint8_t* out, const uint8_t* picture, int w, int h, int pitch) {
    switch (format) {
    case kRgb555:
        codec::I420ToRgb555(out, picture, w, h, pitch);
        break;
    case kRgb565:
        codec::I420ToRgb565(out, picture, w, h, pitch);
        break;
    case kBgr565:
        codec::I420ToBgr565Full(out, picture, w, h, pitch);
        break;
    case kRgb24:
        codec::I420ToRgb24(out, picture, w, h, pitch);
        break;
    case kRgb32:
        codec::I420ToRgb32(out, picture, w, h, pitch);
        break;
    default:
        break;
    }
}

// A stored picture into a surface on a redraw: the full-range converters.
void ConvertStoredPicture(int format, uint8_t* out, const uint8_t* picture, int w, int h, int pitch) {
    switch (format) {
    case kRgb555:
        codec::I420ToRgb555Full(out, picture, w, h, pitch);
        break;
    case kRgb565:
        codec::I420ToRgb565Full(out, picture, w, h, pitch);
        break;
    case kBgr565:
        codec::I420ToBgr565Full(out, picture, w, h, pitch);
        break;
    case kRgb24:
        codec::I420ToRgb24Full(out, picture, w, h, pitch);
        break;
    case kRgb32:
        codec::I420ToRgb32Full(out, picture, w, h, pitch);
        break;
    default:
        break;
    }
}

}  // namespace

CZoWnd::CZoWnd(platform::MessagePort* messages, platform::NotificationPort* parent, BufferAllocator allocate)
    : messages_(messages != nullptr ? *messages : platform::DefaultMessagePort()), parent_(parent) {
    if (allocate == nullptr)
        allocate = HeapAllocate;
    for (Channel& channel : channels_) {
        channel.picture = allocate(kPictureBufferBytes);
        if (!channel.picture) {
            messages_.Show("Yuv Buf Allocation Failed!");
            break;
        }
        // Black: luma 0, both chroma planes 128.
        std::memset(channel.picture.get(), 0, kYPlaneBytes);
        std::memset(channel.picture.get() + kYPlaneBytes, 128, kPictureBufferBytes - kYPlaneBytes);
    }
    bitmap_ = std::make_unique<uint8_t[]>(kBitmapBytes);
    titleFont_.setFamily(QStringLiteral("Verdana"));
    titleFont_.setPixelSize(16);
    titleFont_.setWeight(static_cast<QFont::Weight>(500));
    // Titles are keyed over the pictures: pixels are outline, text or
    // nothing, never a blend with the transparent black.
    titleFont_.setStyleStrategy(QFont::NoAntialias);
    std::lock_guard lock(mutex_);
    displayFormat_ = DetectDisplayFormat();
    RenderTitlesLocked();
}

CZoWnd::~CZoWnd() {
    std::lock_guard lock(mutex_);
    ReleaseSurfacesLocked();
}

// ---- Layout ----------------------------------------------------------------

void CZoWnd::SetCellCount(int cells) {
    std::lock_guard lock(mutex_);
    cellCount_ = std::clamp(cells, 0, kChannels);
}

int CZoWnd::SetLayout(int cellsPerPage, int page) {
    int result = 0;
    {
        std::lock_guard lock(mutex_);
        result = SetLayoutLocked(cellsPerPage, page);
    }
    ShowPendingMessage();
    return result;
}

int CZoWnd::SetLayoutLocked(int cellsPerPage, int page) {
    // A split of 0 has no grid (and no pages to count).
    if (cellsPerPage < 1 || cellsPerPage > cellCount_)
        return 0;
    if (page < 0) {
        if (cellsPerPage == cellsPerPage_) {
            const int pages = (cellCount_ + cellsPerPage - 1) / cellsPerPage;
            page = page_ + 1;
            if (page >= pages)
                page = 0;
        } else {
            page = 0;
        }
    }
    cellsPerPage_ = cellsPerPage;
    page_ = page;
    if (cellsPerPage != 1) {
        rememberedCellsPerPage_ = cellsPerPage;
        rememberedPage_ = page;
    }
    ComputeLayoutLocked();
    InitDirectDrawLocked();
    RedrawAllLocked(true);
    return 1;
}

void CZoWnd::GetLayout(int& cellsPerPage, int& page) const {
    std::lock_guard lock(mutex_);
    cellsPerPage = cellsPerPage_;
    page = page_;
}

void CZoWnd::ComputeLayoutLocked() {
    int areaWidth = screen_.width();
    int areaHeight = screen_.height();
    if (directDrawActive_ && back_.Exists()) {
        areaWidth = back_.Width();
        areaHeight = back_.Height();
    }
    const int perPage = std::max(cellsPerPage_, 1);
    int side = 1;
    while (side * side < perPage)
        ++side;
    const int cellWidth = areaWidth / side;
    const int cellHeight = areaHeight / side;
    for (int k = 0; k < kChannels; ++k) {
        Channel& channel = channels_[k];
        if (k >= cellCount_) {
            channel.cell = {};
            channel.visible = false;
            continue;
        }
        const int onPage = k / perPage;
        const int slot = k % perPage;
        const int left = (slot % side) * cellWidth;
        const int top = (slot / side) * cellHeight;
        channel.cell = {left, top, left + cellWidth, top + cellHeight};
        channel.visible = onPage == page_;
    }
}

// ---- Pictures ----------------------------------------------------------------

int CZoWnd::ShowPicture(int channel, const media::CalendarTime& time, const uint8_t* picture, int widthPx,
                        int heightPx) {
    int result = 0;
    {
        std::lock_guard lock(mutex_);
        if (channel < 0 || channel >= cellCount_ || picture == nullptr || !ValidPictureSize(widthPx, heightPx))
            return 0;
        Channel& stored = channels_[channel];
        if (!stored.picture)
            return 0;
        // The size is stored with the picture only once both are known to
        // fit, so a redraw never reads a size the buffer does not hold.
        stored.widthPx = widthPx;
        stored.heightPx = heightPx;
        std::memcpy(stored.picture.get(), picture, PictureBytes(widthPx, heightPx));
        stored.hasPicture = true;
        stored.time = time;
        result = directDrawActive_ ? ShowSurfaceLocked(channel) : ShowBitmapLocked(channel);
    }
    ShowPendingMessage();
    return result;
}

int CZoWnd::ShowBitmapLocked(int channel) {
    const Channel& stored = channels_[channel];
    codec::I420ToRgb24BottomUp(bitmap_.get(), stored.picture.get(), stored.widthPx, stored.heightPx);
    ComputeLayoutLocked();
    if (stored.visible) {
        StretchBitmapLocked(stored.cell, stored.widthPx, stored.heightPx,
                            stored.zoom.SourceRect(stored.widthPx, stored.heightPx));
        DrawOverviewLocked(channel, false);
        DrawTitleLocked(channel, stored.cell.left + kTitleInsetXPx, stored.cell.top + kTitleInsetYPx, false);
        ++composed_;
        RequestRepaintLocked(stored.cell);
    }
    return 1;
}

int CZoWnd::ShowSurfaceLocked(int channel) {
    const Channel& stored = channels_[channel];
    if (!AllSurfacesExistLocked()) {
        ReleaseSurfacesLocked();
        InitDirectDrawLocked();
        return 0;
    }
    if (video_.Width() != stored.widthPx || video_.Height() != stored.heightPx) {
        if (!CreateSurfaceLocked(video_, stored.widthPx, stored.heightPx))
            return 0;
    }
    uint8_t* pixels = LockSurfaceLocked(video_);
    if (pixels == nullptr) {
        ReleaseSurfacesLocked();
        return 0;
    }
    ConvertNewPicture(surfaceFormat_, pixels, stored.picture.get(), stored.widthPx, stored.heightPx, video_.Pitch());
    video_.Unlock();
    ComputeLayoutLocked();
    // Only the cell changed: the screen image takes that part alone, unless
    // it lacks more than that (lost, or an earlier drawing not presented).
    const bool wholePending = backPresentPending_ || screenLost_;
    if (stored.visible) {
        backPresentPending_ = true;
        if (!back_.StretchFrom(video_, stored.zoom.SourceRect(stored.widthPx, stored.heightPx), stored.cell)) {
            ReleaseSurfacesLocked();
            return 0;
        }
        if (back_.IsLost())
            back_.Restore();
        DrawOverviewLocked(channel, true);
        DrawTitleLocked(channel, kTitleInsetXPx, kTitleInsetYPx, true);
        BlitTitleStripLocked(stored.cell);
        ++composed_;
    }
    if (wholePending) {
        PresentLocked();
        RequestRepaintLocked(FullRect());
    } else if (stored.visible) {
        back_.CopyToScreen(screen_, stored.cell);
        backPresentPending_ = false;
        RequestRepaintLocked(stored.cell);
    }
    return 1;
}

void CZoWnd::StretchBitmapLocked(const PixelRect& cell, int widthPx, int heightPx, const PixelRect& source) {
    if (screen_.isNull())
        return;
    const int left = std::clamp(source.left, 0, widthPx);
    const int top = std::clamp(source.top, 0, heightPx);
    const int right = std::clamp(source.right, left, widthPx);
    const int bottom = std::clamp(source.bottom, top, heightPx);
    const uint8_t* bitmap = bitmap_.get() + static_cast<size_t>(left) * 3;
    const size_t rowBytes = static_cast<size_t>(widthPx) * 3;
    uint8_t* screen = screen_.bits();
    const qsizetype screenRowBytes = screen_.bytesPerLine();
    // The bitmap's rows are bottom-up: picture row y is bitmap row h-1-y.
    StretchNearest(
        right - left, bottom - top, 3,
        [&](int y) { return bitmap + static_cast<size_t>(heightPx - 1 - (top + y)) * rowBytes; },
        screen_.width(), screen_.height(), 4, [&](int y) { return screen + y * screenRowBytes; }, cell,
        [](uint8_t* out, const uint8_t* in) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 0xFF;
        });
}

void CZoWnd::FillScreenLocked(const PixelRect& rect, uint32_t argb) {
    const int x0 = std::max(rect.left, 0);
    const int x1 = std::min(rect.right, screen_.width());
    const int y0 = std::max(rect.top, 0);
    const int y1 = std::min(rect.bottom, screen_.height());
    for (int y = y0; y < y1; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(screen_.scanLine(y));
        std::fill(row + x0, row + x1, argb);
    }
}

void CZoWnd::ResetPictures() {
    {
        std::lock_guard lock(mutex_);
        clearOnRedraw_ = true;
        // New content starts whole.
        panChannel_ = -1;
        for (Channel& channel : channels_) {
            channel.hasPicture = false;
            channel.zoom = ZoomView{};
        }
        RedrawAllLocked(true);
        clearOnRedraw_ = false;
    }
    ShowPendingMessage();
}

void CZoWnd::RedrawAll() {
    {
        std::lock_guard lock(mutex_);
        RedrawAllLocked(true);
    }
    ShowPendingMessage();
}

void CZoWnd::RedrawAllLocked(bool requestRepaint) {
    if (useDirectDraw_ && !primaryExists_)
        InitDirectDrawLocked();
    ComputeLayoutLocked();
    if (directDrawActive_)
        backPresentPending_ = true;
    bool backCleared = false;
    for (int k = 0; k < kChannels && k < cellCount_; ++k) {
        const Channel& channel = channels_[k];
        if (!channel.visible)
            continue;
        if (channel.hasPicture && channel.picture) {
            if (directDrawActive_) {
                if (video_.Width() != channel.widthPx || video_.Height() != channel.heightPx) {
                    if (!CreateSurfaceLocked(video_, channel.widthPx, channel.heightPx)) {
                        // No surface for the picture: the bitmap path takes over.
                        ReleaseSurfacesLocked();
                        directDrawActive_ = false;
                        if (requestRepaint)
                            RequestRepaintLocked();
                        return;
                    }
                }
                uint8_t* pixels = LockSurfaceLocked(video_);
                if (pixels == nullptr)
                    return;
                ConvertStoredPicture(surfaceFormat_, pixels, channel.picture.get(), channel.widthPx,
                                     channel.heightPx, video_.Pitch());
                video_.Unlock();
                back_.StretchFrom(video_, channel.zoom.SourceRect(channel.widthPx, channel.heightPx), channel.cell);
                if (back_.IsLost())
                    back_.Restore();
                DrawOverviewLocked(k, true);
            } else {
                codec::I420ToRgb24FullFlipped(bitmap_.get(), channel.picture.get(), channel.widthPx,
                                              channel.heightPx);
                StretchBitmapLocked(channel.cell, channel.widthPx, channel.heightPx,
                                    channel.zoom.SourceRect(channel.widthPx, channel.heightPx));
                DrawOverviewLocked(k, false);
            }
        } else if (!directDrawActive_) {
            FillScreenLocked(channel.cell, 0xFF000000u);
        } else if (clearOnRedraw_ && !backCleared) {
            back_.FillAll(0);
            backCleared = true;
        }
        if (directDrawActive_) {
            if (back_.IsLost())
                back_.Restore();
            DrawTitleLocked(k, kTitleInsetXPx, kTitleInsetYPx, true);
            BlitTitleStripLocked(channel.cell);
        } else {
            DrawTitleLocked(k, channel.cell.left + kTitleInsetXPx, channel.cell.top + kTitleInsetYPx, false);
        }
    }
    if (directDrawActive_)
        PresentLocked();
    if (requestRepaint)
        RequestRepaintLocked();
}

// ---- Zoom and pan ----------------------------------------------------------------

int CZoWnd::VisibleChannelAtLocked(int x, int y) const {
    for (int k = 0; k < kChannels && k < cellCount_; ++k)
        if (channels_[k].visible && channels_[k].cell.Contains(x, y))
            return k;
    return -1;
}

void CZoWnd::RedrawCellLocked(int channel) {
    const Channel& stored = channels_[channel];
    if (!stored.visible || !stored.hasPicture || !stored.picture)
        return;
    if (directDrawActive_)
        ShowSurfaceLocked(channel);
    else
        ShowBitmapLocked(channel);
}

bool CZoWnd::OnWheel(int x, int y, int angleEighths) {
    {
        std::lock_guard lock(mutex_);
        ComputeLayoutLocked();
        const int k = VisibleChannelAtLocked(x, y);
        if (k < 0 || angleEighths == 0 || !channels_[k].hasPicture)
            return false;
        Channel& channel = channels_[k];
        const PixelRect& cell = channel.cell;
        const double fx = (x - cell.left + 0.5) / cell.Width();
        const double fy = (y - cell.top + 0.5) / cell.Height();
        channel.zoom.ZoomAround(fx, fy, channel.zoom.factor * std::exp2(angleEighths / 480.0));
        RedrawCellLocked(k);
    }
    ShowPendingMessage();
    return true;
}

bool CZoWnd::OnPanStart(int x, int y) {
    std::lock_guard lock(mutex_);
    ComputeLayoutLocked();
    const int k = VisibleChannelAtLocked(x, y);
    if (k < 0 || !channels_[k].zoom.IsZoomed()) {
        panChannel_ = -1;
        return false;
    }
    panChannel_ = k;
    panX_ = x;
    panY_ = y;
    return true;
}

void CZoWnd::OnPanMove(int x, int y) {
    {
        std::lock_guard lock(mutex_);
        if (panChannel_ < 0)
            return;
        Channel& channel = channels_[panChannel_];
        if (channel.cell.Width() <= 0 || channel.cell.Height() <= 0)
            return;
        channel.zoom.Pan(static_cast<double>(x - panX_) / channel.cell.Width(),
                         static_cast<double>(y - panY_) / channel.cell.Height());
        panX_ = x;
        panY_ = y;
        RedrawCellLocked(panChannel_);
    }
    ShowPendingMessage();
}

void CZoWnd::OnPanEnd() {
    std::lock_guard lock(mutex_);
    panChannel_ = -1;
}

void CZoWnd::ResetZoom() {
    {
        std::lock_guard lock(mutex_);
        panChannel_ = -1;
        ComputeLayoutLocked();
        for (int k = 0; k < kChannels; ++k) {
            if (!channels_[k].zoom.IsZoomed())
                continue;
            channels_[k].zoom = ZoomView{};
            if (k < cellCount_)
                RedrawCellLocked(k);
        }
    }
    ShowPendingMessage();
}

bool CZoWnd::IsZoomed() const {
    std::lock_guard lock(mutex_);
    return std::any_of(channels_.begin(), channels_.end(), [](const Channel& c) { return c.zoom.IsZoomed(); });
}

ZoomView CZoWnd::ZoomOf(int channel) const {
    std::lock_guard lock(mutex_);
    return channel >= 0 && channel < kChannels ? channels_[channel].zoom : ZoomView{};
}

PixelRect CZoWnd::ZoomSourceRect(int channel) const {
    std::lock_guard lock(mutex_);
    if (channel < 0 || channel >= kChannels)
        return {};
    const Channel& c = channels_[channel];
    return c.zoom.SourceRect(c.widthPx, c.heightPx);
}

void CZoWnd::DrawOverviewLocked(int channel, bool toBackSurface) {
    const Channel& stored = channels_[channel];
    const PixelRect& cell = stored.cell;
    if (!stored.zoom.IsZoomed() || cell.Width() < kOverviewMinCellPx || cell.Height() < kOverviewMinCellPx)
        return;
    // The whole picture as a box in the lower right corner, in the cell's
    // proportions; the visible part marked inside it.
    const int boxWidth = cell.Width() / 5;
    const int boxHeight = std::max(boxWidth * cell.Height() / cell.Width(), 4);
    const int margin = std::max(cell.Width() / 80, 4);
    const int line = std::max(cell.Width() / 400, 1);
    const PixelRect box{cell.right - margin - boxWidth, cell.bottom - margin - boxHeight, cell.right - margin,
                        cell.bottom - margin};
    const PixelRect source = stored.zoom.SourceRect(stored.widthPx, stored.heightPx);
    PixelRect part{box.left + source.left * boxWidth / stored.widthPx,
                   box.top + source.top * boxHeight / stored.heightPx,
                   box.left + (source.right * boxWidth + stored.widthPx - 1) / stored.widthPx,
                   box.top + (source.bottom * boxHeight + stored.heightPx - 1) / stored.heightPx};
    const int partLine = line + 1;
    // Never thinner than its own lines, and inside the box.
    const int least = 2 * partLine + 2;
    part.right = std::min(std::max(part.right, part.left + least), box.right);
    part.bottom = std::min(std::max(part.bottom, part.top + least), box.bottom);
    part.left = std::max(part.right - std::max(part.Width(), least), box.left);
    part.top = std::max(part.bottom - std::max(part.Height(), least), box.top);

    // The box darkens the picture under it, except the visible part, which
    // reads as a window onto the whole.
    for (int y = box.top; y < box.bottom; ++y) {
        for (int x = box.left; x < box.right; ++x) {
            if (part.Contains(x, y))
                continue;
            if (toBackSurface) {
                const uint32_t argb = UnpackToArgb(surfaceFormat_, back_.PixelAt(x, y));
                back_.SetPixel(x, y, PackRgb(surfaceFormat_, static_cast<uint8_t>((argb >> 16 & 0xFF) / 3),
                                             static_cast<uint8_t>((argb >> 8 & 0xFF) / 3),
                                             static_cast<uint8_t>((argb & 0xFF) / 3)));
            } else if (y >= 0 && y < screen_.height() && x >= 0 && x < screen_.width()) {
                auto* pixel = reinterpret_cast<uint32_t*>(screen_.scanLine(y)) + x;
                const uint32_t argb = *pixel;
                *pixel = 0xFF000000u | ((argb >> 16 & 0xFF) / 3) << 16 | ((argb >> 8 & 0xFF) / 3) << 8 |
                         (argb & 0xFF) / 3;
            }
        }
    }

    const auto fill = [&](const PixelRect& r, uint32_t argb) {
        if (toBackSurface)
            back_.Fill(r, PackRgb(surfaceFormat_, static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8),
                                  static_cast<uint8_t>(argb)));
        else
            FillScreenLocked(r, argb);
    };
    const auto frame = [&](const PixelRect& r, int width, uint32_t argb) {
        fill({r.left, r.top, r.right, r.top + width}, argb);
        fill({r.left, r.bottom - width, r.right, r.bottom}, argb);
        fill({r.left, r.top + width, r.left + width, r.bottom - width}, argb);
        fill({r.right - width, r.top + width, r.right, r.bottom - width}, argb);
    };
    // A dark edge keeps the light lines readable over a light picture.
    frame({box.left - line, box.top - line, box.right + line, box.bottom + line}, line, kOverviewShadow);
    frame(box, line, kOverviewFrame);
    frame(part, partLine, kOverviewPart);
}

// ---- Titles --------------------------------------------------------------------

void CZoWnd::RenderTitlesLocked() {
    for (RenderedTitle& title : titles_)
        title.image = QImage();
    textAvailable_ = GuiApplication() != nullptr;
    if (!textAvailable_)
        return;
    const QFontMetrics metrics(titleFont_);
    const QColor outline = ColourOf(backColour_);
    const QColor text = ColourOf(textColour_);
    for (int k = 0; k < kChannels; ++k) {
        const QString label = QStringLiteral("CH%1").arg(k + 1);
        const QRect bounds = metrics.boundingRect(label);
        // One pixel of outline on each side, and room for an overhang.
        const int widthPx = std::max(metrics.horizontalAdvance(label), bounds.right() + 1) + 3;
        const int heightPx = metrics.height() + 2;
        QImage image(widthPx, heightPx, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setFont(titleFont_);
        painter.setPen(outline);
        const int baseline = 1 + metrics.ascent();
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (dx != 0 || dy != 0)
                    painter.drawText(1 + dx, baseline + dy, label);
        painter.setPen(text);
        painter.drawText(1, baseline, label);
        painter.end();
        titles_[k].image = image;
    }
}

void CZoWnd::DrawTitleLocked(int channel, int x, int y, bool toTitleSurface) {
    if (toTitleSurface) {
        if (title_.IsLost())
            title_.Restore();
        // The transparent key, over the strip alone: only the strip is
        // ever blitted, and the whole surface is larger than a cell.
        title_.Fill({0, 0, kTitleStripMaxWidthPx, kTitleStripHeightPx}, 0);
    }
    if (!overlayEnabled_)
        return;
    // The text is "CH<n>" for a picture with a time, else a blank, which
    // leaves nothing to draw.
    if (!showTitle_ || channels_[channel].time.year == 0)
        return;
    const QImage& image = titles_[channel].image;
    if (image.isNull())
        return;
    const int originX = x - 1;
    const int originY = y - 1;
    for (int row = 0; row < image.height(); ++row) {
        const auto* in = reinterpret_cast<const uint32_t*>(image.constScanLine(row));
        const int ty = originY + row;
        if (!toTitleSurface && (ty < 0 || ty >= screen_.height()))
            continue;
        auto* out = toTitleSurface ? nullptr : reinterpret_cast<uint32_t*>(screen_.scanLine(ty));
        for (int col = 0; col < image.width(); ++col) {
            const uint32_t argb = in[col];
            if ((argb >> 24) == 0)
                continue;
            const int tx = originX + col;
            if (toTitleSurface) {
                title_.SetPixel(tx, ty,
                                PackRgb(surfaceFormat_, static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8),
                                        static_cast<uint8_t>(argb)));
            } else if (tx >= 0 && tx < screen_.width()) {
                out[tx] = 0xFF000000u | argb;
            }
        }
    }
}

void CZoWnd::BlitTitleStripLocked(const PixelRect& cell) {
    const int stripWidth = std::min(cell.Width(), kTitleStripMaxWidthPx);
    back_.BlitKeyedFrom(title_, {0, 0, stripWidth, kTitleStripHeightPx}, cell.left, cell.top);
}

void CZoWnd::SetShowTitle(bool on) {
    std::lock_guard lock(mutex_);
    showTitle_ = on;
}

bool CZoWnd::GetShowTitle() const {
    std::lock_guard lock(mutex_);
    return showTitle_;
}

void CZoWnd::SetOverlayEnabled(bool on) {
    std::lock_guard lock(mutex_);
    overlayEnabled_ = on;
}

void CZoWnd::SetTextColor(uint32_t colour) {
    std::lock_guard lock(mutex_);
    textColour_ = colour;
    RenderTitlesLocked();
}

void CZoWnd::SetBackColor(uint32_t colour) {
    std::lock_guard lock(mutex_);
    backColour_ = colour;
    RenderTitlesLocked();
}

void CZoWnd::SetTitleFont(int heightPx, int widthPx, int weight, bool italic, const std::string& face) {
    std::lock_guard lock(mutex_);
    QFont font;
    font.setFamily(QString::fromStdString(face));
    font.setPixelSize(heightPx == 0 ? 16 : std::abs(heightPx));
    font.setWeight(static_cast<QFont::Weight>(weight == 0 ? 400 : std::clamp(weight, 1, 1000)));
    font.setItalic(italic);
    font.setStyleStrategy(QFont::NoAntialias);
    if (widthPx > 0 && GuiApplication() != nullptr) {
        // A given character width becomes a stretch of the face's own.
        const int average = QFontMetrics(font).averageCharWidth();
        if (average > 0)
            font.setStretch(std::clamp(widthPx * 100 / average, 1, 4000));
    }
    titleFont_ = font;
    RenderTitlesLocked();
}

void CZoWnd::SetTimeFormat(const std::string& format) {
    std::lock_guard lock(mutex_);
    timeFormat_ = format;
}

std::string CZoWnd::GetTimeFormat() const {
    std::lock_guard lock(mutex_);
    return timeFormat_;
}

// ---- Surfaces ----------------------------------------------------------------

void CZoWnd::SetUseDirectDraw(bool on) {
    {
        std::lock_guard lock(mutex_);
        if (on) {
            useDirectDraw_ = true;
            reinitRequested_ = true;
            InitDirectDrawLocked();
        } else {
            directDrawActive_ = false;
            useDirectDraw_ = false;
            ReleaseSurfacesLocked();
        }
    }
    ShowPendingMessage();
}

bool CZoWnd::GetUseDirectDraw() const {
    std::lock_guard lock(mutex_);
    return useDirectDraw_;
}

bool CZoWnd::IsDirectDrawActive() const {
    std::lock_guard lock(mutex_);
    return directDrawActive_;
}

bool CZoWnd::SurfaceCreationAllowedLocked() {
    if (faults_.creationsBeforeFault > 0) {
        --faults_.creationsBeforeFault;
        return true;
    }
    if (faults_.surfaceCreations > 0) {
        --faults_.surfaceCreations;
        return false;
    }
    return true;
}

bool CZoWnd::CreateSurfaceLocked(DisplaySurface& surface, int widthPx, int heightPx) {
    if (!SurfaceCreationAllowedLocked()) {
        surface.Release();
        return false;
    }
    return surface.Create(widthPx, heightPx, ClassifyPixelFormat(displayFormat_));
}

uint8_t* CZoWnd::LockSurfaceLocked(DisplaySurface& surface) {
    if (faults_.locks > 0) {
        --faults_.locks;
        return nullptr;
    }
    return surface.Lock();
}

void CZoWnd::InitDirectDrawLocked() {
    if (!deviceAvailable_ || !useDirectDraw_) {
        if (directDrawActive_) {
            ReleaseSurfacesLocked();
            directDrawActive_ = false;
        }
        return;
    }
    if (!reinitRequested_ && !directDrawActive_)
        return;
    ReleaseSurfacesLocked();
    directDrawActive_ = false;
    // Without a client area there is no back surface to make yet: the
    // request stays for the first size.
    if (screen_.isNull()) {
        reinitRequested_ = true;
        return;
    }
    reinitRequested_ = false;

    // The primary is the screen image; making it can fail like any surface.
    if (!SurfaceCreationAllowedLocked())
        return;
    primaryExists_ = true;
    screenLost_ = false;
    const int format = ClassifyPixelFormat(displayFormat_);
    if (format == kNoSurfaceFormat) {
        ReleaseSurfacesLocked();
        return;
    }
    surfaceFormat_ = format;
    if (!blitSelfTestDone_.load() && !RunBlitSelfTestLocked(format)) {
        displayErrorPending_ = true;
        ReleaseSurfacesLocked();
        return;
    }
    if (!CreateSurfaceLocked(video_, kVideoSurfaceWidthPx, kVideoSurfaceHeightPx) ||
        !CreateSurfaceLocked(back_, screen_.width(), screen_.height()) ||
        !CreateSurfaceLocked(title_, kTitleSurfaceWidthPx, kTitleSurfaceHeightPx)) {
        ReleaseSurfacesLocked();
        return;
    }
    directDrawActive_ = true;
    backPresentPending_ = true;  // the new back surface's fill
}

bool CZoWnd::RunBlitSelfTestLocked(int format) {
    DisplaySurface first;
    DisplaySurface second;
    if (!CreateSurfaceLocked(first, kSelfTestSidePx, kSelfTestSidePx) ||
        !CreateSurfaceLocked(second, kSelfTestSidePx, kSelfTestSidePx))
        return false;
    blitSelfTestDone_ = true;
    const uint32_t white = PackRgb(format, 254, 254, 254);
    const int half = kSelfTestSidePx / 2;
    first.Fill({0, 0, half, half}, white);
    first.Fill({half, half, kSelfTestSidePx, kSelfTestSidePx}, white);
    second.StretchFrom(first, {0, 0, kSelfTestSidePx, kSelfTestSidePx});
    if (faults_.corruptSelfTest)
        second.SetPixel(half, 0, white);
    const uint8_t* a = first.Lock();
    const uint8_t* b = second.Lock();
    return a != nullptr && b != nullptr && first.Pitch() == second.Pitch() &&
           std::memcmp(a, b, static_cast<size_t>(first.Pitch()) * first.Height()) == 0;
}

void CZoWnd::ReleaseSurfacesLocked() {
    video_.Release();
    title_.Release();
    back_.Release();
    primaryExists_ = false;
    surfaceFormat_ = kNoSurfaceFormat;
}

bool CZoWnd::AllSurfacesExistLocked() const {
    return primaryExists_ && back_.Exists() && video_.Exists() && title_.Exists();
}

void CZoWnd::PresentLocked() {
    if (screenLost_) {
        screen_.fill(QColor(10, 10, 10));
        screenLost_ = false;
    }
    back_.CopyToScreen(screen_);
    backPresentPending_ = false;
}

PixelRect CZoWnd::FullRect() const { return {0, 0, screen_.width(), screen_.height()}; }

void CZoWnd::LoseSurfaces() {
    std::lock_guard lock(mutex_);
    back_.MarkLost();
    video_.MarkLost();
    title_.MarkLost();
    screenLost_ = true;
}

// ---- Window messages -----------------------------------------------------------

void CZoWnd::PaintLocked() {
    if (directDrawActive_) {
        // The screen image already holds what was presented; a copy of the
        // same pixels again would only cost time.
        if (screenLost_ || backPresentPending_)
            PresentLocked();
    } else if (screenLost_) {
        // The screen image keeps the window's content between paints; only
        // content the display took is drawn again.
        screenLost_ = false;
        RedrawAllLocked(false);
    }
}

void CZoWnd::NotePaintLocked() {
    if (composed_ != composedAtPaint_) {
        composedAtPaint_ = composed_;
        ++shownPaints_;
    }
}

CZoWnd::PaintStats CZoWnd::GetPaintStats() const {
    std::lock_guard lock(mutex_);
    return {composed_, shownPaints_};
}

void CZoWnd::OnSize(int widthPx, int heightPx) {
    if (widthPx <= 0 || heightPx <= 0)
        return;
    {
        std::lock_guard lock(mutex_);
        if (screen_.width() != widthPx || screen_.height() != heightPx) {
            screen_ = QImage(widthPx, heightPx, QImage::Format_RGB32);
            screen_.fill(Qt::black);
        }
        ComputeLayoutLocked();
        InitDirectDrawLocked();
        RedrawAllLocked(true);
    }
    ShowPendingMessage();
}

void CZoWnd::OnDoubleClick(int x, int y) {
    {
        std::lock_guard lock(mutex_);
        ComputeLayoutLocked();
        if (cellsPerPage_ == 4 || cellsPerPage_ == 9 || cellsPerPage_ == 16) {
            for (int k = 0; k < kChannels && k < cellCount_; ++k) {
                if (channels_[k].visible && channels_[k].cell.Contains(x, y)) {
                    SetLayoutLocked(1, k);
                    break;
                }
            }
        } else if (cellsPerPage_ == 1) {
            SetLayoutLocked(rememberedCellsPerPage_, rememberedPage_);
        }
    }
    ShowPendingMessage();
    if (parent_ != nullptr)
        parent_->Post(kSplitChangedMessage, 0, 0);
}

void CZoWnd::SetRepaintRequest(std::function<void(const PixelRect&)> request) {
    std::lock_guard lock(mutex_);
    repaintRequest_ = std::move(request);
}

void CZoWnd::RequestRepaintLocked() { RequestRepaintLocked(FullRect()); }

void CZoWnd::RequestRepaintLocked(const PixelRect& rect) {
    const PixelRect full = FullRect();
    const PixelRect changed{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, full.right),
                            std::min(rect.bottom, full.bottom)};
    if (changed.Width() <= 0 || changed.Height() <= 0)
        return;
    if (repaintRequest_)
        repaintRequest_(changed);
}

void CZoWnd::ShowPendingMessage() {
    if (displayErrorPending_.exchange(false))
        messages_.Show("Your graphic card does not fully support DirectDraw.");
}

// ---- Capture --------------------------------------------------------------------

int CZoWnd::CaptureToBitmapFile(const std::string& path) {
    QImage grabbed;
    {
        std::lock_guard lock(mutex_);
        grabbed = screen_.copy();
    }
    if (grabbed.isNull())
        return 0;
    QGuiApplication* app = GuiApplication();
    const bool onGuiThread = app != nullptr && QThread::currentThread() == app->thread();
    if (onGuiThread) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        // The clipboard keeps the captured picture afterwards.
        QGuiApplication::clipboard()->setImage(grabbed);
    }
    const std::vector<uint8_t> dib = MakeDib24(reinterpret_cast<const uint32_t*>(grabbed.constBits()),
                                               grabbed.width(), grabbed.height(),
                                               static_cast<int>(grabbed.bytesPerLine() / 4));
    const int written = WriteBitmapFile(path, dib);
    if (onGuiThread)
        QGuiApplication::restoreOverrideCursor();
    return written;
}

// ---- Inspection ------------------------------------------------------------------

QImage CZoWnd::ScreenCopy() const {
    std::lock_guard lock(mutex_);
    return screen_.copy();
}

PixelRect CZoWnd::CellOf(int channel) const {
    std::lock_guard lock(mutex_);
    return channel >= 0 && channel < kChannels ? channels_[channel].cell : PixelRect{};
}

bool CZoWnd::IsVisible(int channel) const {
    std::lock_guard lock(mutex_);
    return channel >= 0 && channel < kChannels && channels_[channel].visible;
}

bool CZoWnd::HasPicture(int channel) const {
    std::lock_guard lock(mutex_);
    return channel >= 0 && channel < kChannels && channels_[channel].hasPicture;
}

bool CZoWnd::HasPictureBuffer(int channel) const {
    std::lock_guard lock(mutex_);
    return channel >= 0 && channel < kChannels && channels_[channel].picture != nullptr;
}

bool CZoWnd::SurfacesExist() const {
    std::lock_guard lock(mutex_);
    return primaryExists_ || back_.Exists() || video_.Exists() || title_.Exists();
}

int CZoWnd::SurfaceFormat() const {
    std::lock_guard lock(mutex_);
    return directDrawActive_ ? surfaceFormat_ : kNoSurfaceFormat;
}

QSize CZoWnd::VideoSurfaceSize() const {
    std::lock_guard lock(mutex_);
    return QSize(video_.Width(), video_.Height());
}

uint32_t CZoWnd::BackSurfacePixel(int x, int y) const {
    std::lock_guard lock(mutex_);
    return back_.PixelAt(x, y);
}

void CZoWnd::SetDisplayPixelFormat(const DisplayPixelFormat& format) {
    std::lock_guard lock(mutex_);
    displayFormat_ = format;
}

void CZoWnd::SetDisplayDeviceAvailable(bool available) {
    std::lock_guard lock(mutex_);
    deviceAvailable_ = available;
}

void CZoWnd::SetDeviceFaults(const DeviceFaults& faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

bool CZoWnd::BlitSelfTestDone() { return blitSelfTestDone_.load(); }

void CZoWnd::ForgetBlitSelfTest() { blitSelfTestDone_ = false; }

}  // namespace zo::render
