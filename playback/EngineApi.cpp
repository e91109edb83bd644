#include "EngineApi.h"

namespace tovan {

const EngineApi& EngineApi::real() {
    static const EngineApi api{
        tovantts_create,        tovantts_destroy,      tovantts_num_voices,   tovantts_voice,
        tovantts_num_tags,      tovantts_tag,          tovantts_default_voice, tovantts_voice_gender,
        tovantts_gender_voice,  tovantts_default_options, tovantts_synthesize, tovantts_stream_ex,
        tovantts_free,
    };
    return api;
}

}  // namespace tovan
