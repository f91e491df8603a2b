#include "export/XvidEncoder.h"

#include <xvid.h>

#include <cstring>
#include <mutex>
#include <numeric>

namespace zo::exporter {

namespace {

void InitXvidOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        xvid_gbl_init_t init;
        std::memset(&init, 0, sizeof init);
        init.version = XVID_VERSION;
        xvid_global(nullptr, XVID_GBL_INIT, &init, nullptr);
    });
}

}  // namespace

XvidEncoder::~XvidEncoder() { Close(); }

int XvidEncoder::Open(int width, int height, uint32_t rate, uint32_t scale, const XvidSettings& settings) {
    Close();
    if (width <= 0 || height <= 0 || (width & 1) || (height & 1) || rate == 0 || scale == 0)
        return 0;
    InitXvidOnce();

    // The bitstream's time base holds 16 bits: keep rate/scale exact where it
    // fits, else the nearest in thousandths of a picture.
    uint64_t base = rate, increment = scale;
    const uint64_t g = std::gcd(base, increment);
    base /= g;
    increment /= g;
    if (base > 65535 || increment > 65535) {
        const double fps = static_cast<double>(rate) / static_cast<double>(scale);
        increment = 1000;
        base = static_cast<uint64_t>(fps * 1000.0 + 0.5);
        if (base == 0)
            base = 1;
        while (base > 65535) {
            base /= 2;
            increment /= 2;
        }
        if (increment == 0)
            increment = 1;
    }

    xvid_plugin_single_t single;
    std::memset(&single, 0, sizeof single);
    single.version = XVID_VERSION;
    single.bitrate = settings.bitrate;
    xvid_enc_plugin_t plugins[1];
    plugins[0].func = xvid_plugin_single;
    plugins[0].param = &single;

    xvid_enc_create_t create;
    std::memset(&create, 0, sizeof create);
    create.version = XVID_VERSION;
    create.width = width;
    create.height = height;
    create.fincr = static_cast<int>(increment);
    create.fbase = static_cast<int>(base);
    create.max_key_interval = settings.maxKeyInterval;
    create.max_bframes = 0;
    create.global = XVID_GLOBAL_CLOSED_GOP;
    create.num_threads = 0;
    create.plugins = plugins;
    create.num_plugins = 1;
    for (int i = 0; i < 3; ++i) {
        create.min_quant[i] = 2;
        create.max_quant[i] = 31;
    }
    if (xvid_encore(nullptr, XVID_ENC_CREATE, &create, nullptr) < 0 || !create.handle)
        return 0;
    handle_ = create.handle;
    width_ = width;
    height_ = height;
    quantiser_ = settings.bitrate > 0 ? 0 : settings.quantiser;
    // Worst case of a coded picture is well below the raw picture.
    output_.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3 + 4096, 0);
    return 1;
}

void XvidEncoder::Close() {
    if (handle_)
        xvid_encore(handle_, XVID_ENC_DESTROY, nullptr, nullptr);
    handle_ = nullptr;
}

int XvidEncoder::Encode(const uint8_t* bgrBottomUp, bool& key) {
    key = false;
    if (!handle_)
        return -1;
    xvid_enc_frame_t frame;
    std::memset(&frame, 0, sizeof frame);
    frame.version = XVID_VERSION;
    frame.input.csp = XVID_CSP_BGR | XVID_CSP_VFLIP;
    frame.input.plane[0] = const_cast<uint8_t*>(bgrBottomUp);
    frame.input.stride[0] = width_ * 3;
    frame.vop_flags = XVID_VOP_HALFPEL | XVID_VOP_HQACPRED;
    frame.motion = XVID_ME_ADVANCEDDIAMOND16 | XVID_ME_HALFPELREFINE16 | XVID_ME_ADVANCEDDIAMOND8 |
                   XVID_ME_HALFPELREFINE8 | XVID_ME_CHROMA_PVOP;
    frame.type = XVID_TYPE_AUTO;
    frame.quant = quantiser_;
    frame.bitstream = output_.data();
    frame.length = static_cast<int>(output_.size());
    const int bytes = xvid_encore(handle_, XVID_ENC_ENCODE, &frame, nullptr);
    if (bytes < 0)
        return -1;
    key = (frame.out_flags & XVID_KEYFRAME) != 0;
    return bytes;
}

}  // namespace zo::exporter
