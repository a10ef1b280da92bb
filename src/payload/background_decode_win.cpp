// One compressed entry decoded on a second thread.
#include "background_decode.h"

#include "common/ansi_path.h"
#include "extract_payload_internal.h"

void StartBackgroundDecodes(BackgroundDecode *job, const PayloadFile *file, bool wanted) {
    job->thread = nullptr;
    job->area = nullptr;
    // On one core the two decodings take turns, in about the time one after
    // the other takes: no need to ask how many cores there are.
    job->input = wanted && file->path != nullptr ? OpenPayloadReader(file->path) : HFILE_ERROR;
    job->available = job->input != HFILE_ERROR;
}

static DWORD WINAPI DecodeEntryThread(void *argument) {
    BackgroundDecode *job = static_cast<BackgroundDecode *>(argument);
    job->decoded = DecodeEntryAt(job->area, job->input, job->offset, job->size, job->output);
    return 0;
}

bool DecodeInBackground(BackgroundDecode *job, int32_t offset, int32_t size, HFILE output,
                        const wchar_t *path) {
    if (!CopyText(job->path, PathBufferSize, path)) {
        return false;
    }
    if (job->area == nullptr) {
        job->area = AllocateDecodeArea();
    }
    if (job->area == nullptr) {
        job->available = false;
        return false;
    }
    job->offset = offset;
    job->size = size;
    job->output = output;
    // A small stack: the decoder keeps its state in the work area.
    job->thread = CreateThread(nullptr, 0x10000, DecodeEntryThread, job,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    return job->thread != nullptr;
}

bool FinishBackgroundDecode(BackgroundDecode *job) {
    if (job->thread == nullptr) {
        return true;
    }
    WaitForSingleObject(job->thread, INFINITE);
    CloseHandle(job->thread);
    job->thread = nullptr;
    _lclose(job->output);
    if (!job->decoded) {
        DeleteFileByPath(job->path);
    }
    return job->decoded;
}

bool CollectBackgroundDecode(BackgroundDecode *job, bool wait) {
    return job->thread == nullptr ||
           WaitForSingleObject(job->thread, wait ? INFINITE : 0) != WAIT_OBJECT_0 ||
           FinishBackgroundDecode(job);
}

bool EndBackgroundDecodes(BackgroundDecode *job) {
    bool decoded = FinishBackgroundDecode(job);
    if (job->area != nullptr) {
        GlobalFree(job->area);
    }
    if (job->input != HFILE_ERROR) {
        _lclose(job->input);
    }
    return decoded;
}
