// CZoWnd: the video window compositor. It keeps the last picture of each
// of up to sixteen channels, lays the channels out in a 1, 4, 9 or 16 cell
// split with pages, stretches each picture into its cell, writes an
// outlined channel title over it and composes the result into the screen
// image, the window's content that the desktop widget paints.
//
// Two drawing paths:
//  - bitmap path (the default and the fallback): a new picture is converted
//    to a 24-bit bottom-up bitmap (video range), a redraw converts the
//    stored picture full range and flipped; the bitmap is stretched into the
//    cell of the screen image, nearest neighbour; titles are drawn over it;
//  - surface path (SetUseDirectDraw(true) on a display with an RGB format):
//    pictures are converted into a video surface of the display's pixel
//    format (video range for new pictures, full range for redraws),
//    stretched onto a back surface the size of the window, titles are
//    blended in from a title surface with a black colour key, and the back
//    surface is copied to the screen image.
//
// Zoom: each channel has its own view (ZoomView, 1x to 8x). Both paths
// stretch only the visible part of the picture into the cell and draw a
// small overview in the cell's lower right corner, the whole picture's
// frame with the visible part marked, so the screen image (and a capture
// of it) is what the user sees. The wheel zooms around the pointer, a drag
// pans; a zoom or pan redraws that cell alone, with the converter of a new
// picture, so a paused picture keeps its colours while it is zoomed.
//
// Threads: ShowPicture comes on the engine's playback or live thread;
// everything else on the user-interface thread. One lock guards all state,
// the picture buffers, the surfaces and the screen image; every public
// operation holds it for its whole run, so a picture is never composed
// while the layout, the size or the surfaces change. Operations that call
// each other (SetLayout redraws, a double click sets the layout) do so
// through private *Locked functions, never by taking the lock again.
// Notifications to the main window are posted after the lock is released.
//
// Titles need fonts, and fonts need a QGuiApplication: the titles are
// rendered when the window is made and when a title setting changes, on the
// calling (user-interface) thread. Without a QGuiApplication no title is
// drawn and the clipboard is left alone; everything else works.
#pragma once

#include <QFont>
#include <QImage>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "media/RecordingFormat.h"
#include "platform/MessagePort.h"
#include "platform/NotificationPort.h"
#include "render/DisplaySurface.h"
#include "render/Stretch.h"
#include "render/ZoomView.h"

namespace zo::render {

class CZoWnd {
public:
    static constexpr int kChannels = 16;
    // Each channel's stored picture: the largest decoded picture, 640x272.
    static constexpr size_t kPictureBufferBytes = 640 * 272 * 3 / 2;
    // The bitmap path's 24-bit bitmap: 640x272x3.
    static constexpr size_t kBitmapBytes = 640 * 272 * 3;
    // Posted to the main window after a double click changed the split.
    static constexpr int kSplitChangedMessage = 10966;
    static constexpr int kVideoSurfaceWidthPx = 640;
    static constexpr int kVideoSurfaceHeightPx = 272;
    // The title strip blitted over a cell: at most this wide, this tall.
    static constexpr int kTitleStripMaxWidthPx = 639;
    static constexpr int kTitleStripHeightPx = 20;
    static constexpr uint32_t kDefaultTextColour = 0x0080FFFF;  // 0x00BBGGRR: red 255, green 255, blue 128
    static constexpr uint32_t kDefaultBackColour = 0x00141414;  // RGB 20, 20, 20

    // Allocates one picture buffer of `bytes`, or returns nullptr.
    using BufferAllocator = std::unique_ptr<uint8_t[]> (*)(size_t bytes);

    // Faults of the drawing device, for tests: after `creationsBeforeFault`
    // more surfaces were made (the primary counts), the next
    // `surfaceCreations` fail; the next `locks` surface locks fail; the blit
    // self-test sees a corrupted copy while `corruptSelfTest` is set.
    struct DeviceFaults {
        int surfaceCreations = 0;
        int locks = 0;
        bool corruptSelfTest = false;
        int creationsBeforeFault = 0;
    };

    // `messages` shows "Yuv Buf Allocation Failed!" and the display error
    // (nullptr: the default port); `parent` receives the split-changed
    // message (nullptr: nobody); `allocate` makes the picture buffers
    // (nullptr: the heap). The sixteen buffers are made and blackened here;
    // after the first that cannot be made none is tried.
    explicit CZoWnd(platform::MessagePort* messages = nullptr, platform::NotificationPort* parent = nullptr,
                    BufferAllocator allocate = nullptr);
    CZoWnd(const CZoWnd&) = delete;
    CZoWnd& operator=(const CZoWnd&) = delete;
    ~CZoWnd();

    // ---- Engine operations ------------------------------------------------
    // Total number of cells (clamped to 0..16).
    void SetCellCount(int cells);
    // Cells per page (the split) and page. 0 for a split below 1 or above
    // the cell count. A negative page is the next page: with the split
    // unchanged the page advances and wraps to 0 after the last; with a new
    // split it is 0. A split other than 1 is remembered with its page for
    // leaving single view. Lays out, re-initialises the surfaces and redraws
    // everything. 1 on success.
    int SetLayout(int cellsPerPage, int page);
    void GetLayout(int& cellsPerPage, int& page) const;
    // Worker thread. Stores the picture (width 320 or 640, height 112, 136,
    // 224 or 272; `picture` holds width x height x 3/2 bytes) and its time
    // for `channel` and draws it into the channel's cell if the cell is on
    // the current page. 0, changing nothing, for a channel outside the cell
    // count or without a buffer, another size or no picture; 0 also when the
    // surface path could not draw it (the picture is stored). 1 otherwise.
    int ShowPicture(int channel, const media::CalendarTime& time, const uint8_t* picture, int widthPx, int heightPx);
    // Forgets every stored picture and redraws (empty cells black).
    void ResetPictures();
    // Converts every visible stored picture again and draws all cells.
    void RedrawAll();
    // On: asks for and runs the surface initialisation. Off: bitmap path,
    // every surface released.
    void SetUseDirectDraw(bool on);
    bool GetUseDirectDraw() const;
    // True while pictures go through the surfaces.
    bool IsDirectDrawActive() const;

    void SetShowTitle(bool on);
    bool GetShowTitle() const;
    // Titles are drawn only while enabled (file playback, not live view).
    void SetOverlayEnabled(bool on);
    // Colours as 0x00BBGGRR.
    void SetTextColor(uint32_t colour);
    void SetBackColor(uint32_t colour);
    // Height in pixels (its magnitude), width (0: the face's own), weight
    // 1..1000 (0: normal), italic, face name.
    void SetTitleFont(int heightPx, int widthPx, int weight, bool italic, const std::string& face);
    // Stored for the engine; the window does not use it.
    void SetTimeFormat(const std::string& format);
    std::string GetTimeFormat() const;

    // Saves the window's content as a 24-bit bitmap file, after putting it
    // on the clipboard (only with a QGuiApplication, on its thread). 1 when
    // the file was written, 0 when it could not be.
    int CaptureToBitmapFile(const std::string& path);

    // ---- What the widget forwards ------------------------------------------
    // New client size; an empty one is ignored. Lays out, re-initialises
    // the surfaces and redraws everything.
    void OnSize(int widthPx, int heightPx);
    // Paint: the surface path restores the screen if lost and copies the
    // back surface to it; the bitmap path redraws everything if the screen
    // was lost, and otherwise the screen image still holds the window's
    // content. Then paint(screen) runs under the lock with the screen image
    // (Format_RGB32, client size). `paint` must not call the window nor
    // keep a shallow copy of the image.
    template <class Paint>
    void OnPaint(Paint&& paint) {
        std::lock_guard lock(mutex_);
        PaintLocked();
        paint(static_cast<const QImage&>(screen_));
        NotePaintLocked();
    }
    // Left double click at client (x, y): a cell of a 4-, 9- or 16-cell
    // split is shown alone, single view returns to the remembered split;
    // then the split-changed message is posted.
    void OnDoubleClick(int x, int y);
    // The display took the surfaces' memory and the window's content (mode
    // switch): each is restored, or drawn again, before its next use.
    void LoseSurfaces();
    // Called under the lock whenever the screen image changed outside a
    // paint, possibly on the worker thread; it must only queue a repaint and
    // must not call the window. Set before pictures arrive.
    // `changed` is the part of the screen image that changed (client
    // pixels): the widget repaints that part alone.
    void SetRepaintRequest(std::function<void(const PixelRect& changed)> request);

    // ---- Zoom and pan (user-interface thread) ------------------------------------
    // Wheel at client (x, y), `angleEighths` as a wheel reports it (120 a
    // notch, positive away from the user): the picture of the visible cell
    // there zooms by 2^(angle / 480) around the point, within 1x to 8x.
    // false (nothing changed) over no cell or a cell without a picture.
    bool OnWheel(int x, int y, int angleEighths);
    // Left button down at (x, y): true when a zoomed cell is there, which
    // OnPanMove then drags (the picture follows the pointer) until
    // OnPanEnd; false leaves the button to the window.
    bool OnPanStart(int x, int y);
    void OnPanMove(int x, int y);
    void OnPanEnd();
    // Every cell shows its whole picture again.
    void ResetZoom();
    // Whether any channel is zoomed; one channel's view; the part of its
    // stored picture its cell shows, in picture pixels.
    bool IsZoomed() const;
    ZoomView ZoomOf(int channel) const;
    PixelRect ZoomSourceRect(int channel) const;

    // ---- Inspection and test hooks -----------------------------------------
    // Pictures drawn into a visible cell, and paints that showed at least
    // one picture not painted before: shown / composed is the share of
    // pictures the eye could see (counted under the lock, so a paint and the
    // picture it shows are never miscounted).
    struct PaintStats {
        uint64_t composed = 0;
        uint64_t shown = 0;
    };
    PaintStats GetPaintStats() const;
    // A copy of the screen image.
    QImage ScreenCopy() const;
    // Channel's cell and whether it is on the current page.
    PixelRect CellOf(int channel) const;
    bool IsVisible(int channel) const;
    bool HasPicture(int channel) const;
    bool HasPictureBuffer(int channel) const;
    // Surface state: which exist, the format code of the surfaces (0 in
    // the bitmap path), and a raw pixel of the back surface.
    bool SurfacesExist() const;
    int SurfaceFormat() const;
    QSize VideoSurfaceSize() const;
    uint32_t BackSurfacePixel(int x, int y) const;
    // The display's pixel format, detected from the primary screen when the
    // window is made; tests force any format.
    void SetDisplayPixelFormat(const DisplayPixelFormat& format);
    // Whether an accelerated drawing device exists (detected: yes).
    void SetDisplayDeviceAvailable(bool available);
    void SetDeviceFaults(const DeviceFaults& faults);
    // The blit self-test runs once per process; tests may make it run again.
    static bool BlitSelfTestDone();
    static void ForgetBlitSelfTest();

private:
    struct Channel {
        PixelRect cell;
        bool visible = false;
        bool hasPicture = false;
        std::unique_ptr<uint8_t[]> picture;  // kPictureBufferBytes, or null
        int widthPx = 640;
        int heightPx = 224;
        media::CalendarTime time;
        ZoomView zoom;
    };
    // A channel title rendered once: outline and text pixels (alpha 255) on
    // transparency, its origin one pixel up and left of the text position.
    struct RenderedTitle {
        QImage image;  // Format_ARGB32
    };

    void PaintLocked();
    void NotePaintLocked();
    int SetLayoutLocked(int cellsPerPage, int page);
    void ComputeLayoutLocked();
    void RedrawAllLocked(bool requestRepaint);
    int ShowBitmapLocked(int channel);
    int ShowSurfaceLocked(int channel);
    // Stretches `source` (picture pixels) of the bitmap into `cell`.
    void StretchBitmapLocked(const PixelRect& cell, int widthPx, int heightPx, const PixelRect& source);
    // The zoom overview of `channel` on the screen image or the back surface.
    void DrawOverviewLocked(int channel, bool toBackSurface);
    // Draws one visible channel's stored picture again as a new picture.
    void RedrawCellLocked(int channel);
    // The visible channel whose cell holds (x, y), or -1.
    int VisibleChannelAtLocked(int x, int y) const;
    void FillScreenLocked(const PixelRect& rect, uint32_t argb);
    // The title of `channel` at (x, y) on the screen image, or into the title
    // surface (its strip cleared first) when `toTitleSurface`.
    void DrawTitleLocked(int channel, int x, int y, bool toTitleSurface);
    void BlitTitleStripLocked(const PixelRect& cell);
    void PresentLocked();
    void RenderTitlesLocked();
    bool CreateSurfaceLocked(DisplaySurface& surface, int widthPx, int heightPx);
    // Counts a surface creation against the injected faults: false if it fails.
    bool SurfaceCreationAllowedLocked();
    uint8_t* LockSurfaceLocked(DisplaySurface& surface);
    void InitDirectDrawLocked();
    bool RunBlitSelfTestLocked(int formatCode);
    void ReleaseSurfacesLocked();
    bool AllSurfacesExistLocked() const;
    // Runs the repaint request for the whole screen image or `rect` of it.
    void RequestRepaintLocked();
    void RequestRepaintLocked(const PixelRect& rect);
    PixelRect FullRect() const;
    // Shows a message raised under the lock, after it was released: a port
    // may wait for the user-interface thread, which may wait for the lock.
    void ShowPendingMessage();

    platform::MessagePort& messages_;
    platform::NotificationPort* parent_;

    mutable std::mutex mutex_;  // guards every member below
    int cellCount_ = 1;
    int cellsPerPage_ = 1;
    int page_ = 0;
    int rememberedCellsPerPage_ = 1;
    int rememberedPage_ = 0;
    bool showTitle_ = true;
    bool overlayEnabled_ = false;
    bool useDirectDraw_ = false;
    bool directDrawActive_ = false;
    bool reinitRequested_ = true;
    bool clearOnRedraw_ = false;
    std::array<Channel, kChannels> channels_;
    uint32_t textColour_ = kDefaultTextColour;
    uint32_t backColour_ = kDefaultBackColour;
    QFont titleFont_;
    bool textAvailable_ = false;  // a QGuiApplication existed when titles were rendered
    std::array<RenderedTitle, kChannels> titles_;
    std::string timeFormat_ = "%Y/%m/%d %H:%M:%S";
    std::unique_ptr<uint8_t[]> bitmap_;  // kBitmapBytes, 24-bit bottom-up rows
    QImage screen_;                       // client area, Format_RGB32
    bool screenLost_ = false;             // the display took the window's content
    uint64_t composed_ = 0;               // pictures drawn into a visible cell
    uint64_t composedAtPaint_ = 0;        // composed_ at the last paint
    uint64_t shownPaints_ = 0;            // paints that showed a new picture
    // Surface path: the primary is the screen image in the display's format
    // description; back, video and title surfaces are display surfaces.
    bool deviceAvailable_ = true;
    DisplayPixelFormat displayFormat_;
    bool primaryExists_ = false;
    int surfaceFormat_ = kNoSurfaceFormat;
    bool backPresentPending_ = false;  // the back surface holds what the screen image lacks
    DisplaySurface back_;
    DisplaySurface video_;
    DisplaySurface title_;
    DeviceFaults faults_;
    std::function<void(const PixelRect&)> repaintRequest_;
    int panChannel_ = -1;  // the cell being dragged, and the last pointer position
    int panX_ = 0;
    int panY_ = 0;
    std::atomic<bool> displayErrorPending_{false};  // the self-test failed under the lock

    static std::atomic<bool> blitSelfTestDone_;
};

}  // namespace zo::render
