// Run-time fields of a record that the job thread writes while the window thread reads them.
// They stay plain fields of BackupConfig (the record layout is fixed); every cross-thread access
// goes through these atomic accessors. The status line is copied under a lock.
#pragma once
#include "BackupConfig.h"

inline int IsConfigRunning(const BackupConfig *config)
{
    return __atomic_load_n(&config->running, __ATOMIC_ACQUIRE);
}
inline void SetConfigRunning(BackupConfig *config, int running)
{
    __atomic_store_n(&config->running, running, __ATOMIC_RELEASE);
}
inline int IsCancelRequested(const BackupConfig *config)
{
    return __atomic_load_n(&config->cancelRequested, __ATOMIC_ACQUIRE) == 1;
}
// A cancel byte handed to a step on its own (NULL: the step cannot be stopped).
inline bool IsCancelSet(const volatile uint8_t *cancel)
{
    return cancel != nullptr && __atomic_load_n(cancel, __ATOMIC_ACQUIRE) == 1;
}
inline void SetCancelRequested(BackupConfig *config, int cancel)
{
    __atomic_store_n(&config->cancelRequested, (uint8_t)(cancel ? 1 : 0), __ATOMIC_RELEASE);
}
inline int GetProgressPercent(const BackupConfig *config)
{
    return __atomic_load_n(&config->progressPercent, __ATOMIC_RELAXED);
}
inline void SetProgressPercent(BackupConfig *config, int percent)
{
    __atomic_store_n(&config->progressPercent, percent, __ATOMIC_RELAXED);
}
inline int GetSmtpSocket(const BackupConfig *config)
{
    return __atomic_load_n(&config->smtpSocket, __ATOMIC_ACQUIRE);
}
inline void SetSmtpSocket(BackupConfig *config, int socket)
{
    __atomic_store_n(&config->smtpSocket, socket, __ATOMIC_RELEASE);
}
// Takes the mail library's open socket out of the record (-1 when there is none), so that
// the library and a stop, or two stops, never both close it: whoever takes it closes it.
inline int TakeSmtpSocket(BackupConfig *config)
{
    return __atomic_exchange_n(&config->smtpSocket, -1, __ATOMIC_ACQ_REL);
}
inline void *GetUploadHandle(const BackupConfig *config)
{
    return __atomic_load_n(&config->uploadHandle, __ATOMIC_ACQUIRE);
}
inline void SetUploadHandle(BackupConfig *config, void *handle)
{
    __atomic_store_n(&config->uploadHandle, handle, __ATOMIC_RELEASE);
}
// Takes the open upload handle out of the record, so that the job and a stop never both
// close it.
inline void *TakeUploadHandle(BackupConfig *config)
{
    return __atomic_exchange_n(&config->uploadHandle, (void *)nullptr, __ATOMIC_ACQ_REL);
}
inline int IsManuallyStarted(const BackupConfig *config)
{
    return __atomic_load_n(&config->manuallyStarted, __ATOMIC_ACQUIRE);
}
inline void SetManuallyStarted(BackupConfig *config, int manual)
{
    __atomic_store_n(&config->manuallyStarted, manual, __ATOMIC_RELEASE);
}

// The status line is longer than one word; both sides copy it under one process-wide lock.
void SetStatusText(BackupConfig *config, const char *text);
void GetStatusText(const BackupConfig *config, char *out, size_t outSize);
