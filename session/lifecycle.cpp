// Opening, model loading and closing of the engine.
#include <cstring>

#include "api.h"
#include "diag.h"
#include "routines.h"
#include "state.h"
#include "text.h"

namespace session {
namespace {

// Level handed to OpenQorvaneAPI when no positive debug level is given.
constexpr int32_t kSilentLevel = -1;

// loadmodel's result for a path with more significant characters than the path field holds. The
// engine's loading codes are 0 and positive, so a negative one cannot be taken for one of them.
constexpr int32_t kPathTooLong = -MODEL_PATH_LEN;

// Steps 1 to 5 of the opening: debug level, engine, version.
void open_engine(int32_t level) {
    debug = level;
    int32_t api_level = level > 0 ? level : kSilentLevel;
    stat_qordll = OpenQorvaneAPI(&api_level);
    QorvaneInit();
    const int32_t version_status = GetNumeroVersion(vers_buf);
    if (VUZIZI_STATUS_OK(version_status) && VUZIZI_STATUS_OK(stat_qordll))
        std::memcpy(vers_qordll, vers_buf, kVersQordllLen);
    else
        std::memset(vers_qordll, kBlank, kVersQordllLen);
    forget_curve_points();
}

// Last step of the opening: no curve selected.
void clear_selection() {
    qor_typelt = 0;
    std::memset(qor_id, kBlank, kQorIdLen);
    qor_attr = 0;
}

}  // namespace

void init(int32_t* debuglevel, char* pvers, int32_t pvers_len) {
    open_engine(*debuglevel);
    std::memcpy(pvers, vers_qordll, static_cast<std::size_t>(pvers_len < kPversLen ? pvers_len : kPversLen));
    clear_selection();
}

void loadmodel(char* modelname, int32_t* fstat, int32_t modelname_len) {
    // A cut path would name another file: refuse it before any engine call.
    const int32_t n = trimmed_length(modelname, modelname_len);
    if (n > MODEL_PATH_LEN) {
        *fstat = kPathTooLong;
        if (errors_enabled()) diag_line({" * Path too long:", text_item(modelname, modelname_len)});
        return;
    }
    if (!VUZIZI_STATUS_OK(stat_qordll)) {
        open_engine(0);
        clear_selection();
    }
    copy_padded(model_path, MODEL_PATH_LEN, modelname, n);
    model_path[MODEL_PATH_LEN] = '\0';
    forget_curve_points();
    *fstat = OuvrirReseau(model_path);
}

void quit() {
    CloseQorvane();
    stat_qordll = 0;
    std::memset(vers_qordll, kBlank, kVersQordllLen);
    forget_curve_points();
}

}  // namespace session
