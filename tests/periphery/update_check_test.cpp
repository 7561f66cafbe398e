// The update check against an HTTP server of the test's own on 127.0.0.1: when it is due, the
// request it sends, what the reply does to the flag and the stored date, and the calendar rules.
#include <winsock2.h>
#include <windows.h>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Clock.h"
#include "GlobalSettings.h"
#include "LoopbackListener.h"
#include "ScopedEnvironment.h"
#include "ScratchFolder.h"
#include "ShellState.h"
#include "UpdateCheck.h"

namespace {

// Answers every request with one fixed body and records the request heads.
class ReplyServer {
public:
    explicit ReplyServer(std::string body) : body_(std::move(body))
    {
        listener_ = ListenOnLoopback(&port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ReplyServer()
    {
        closesocket(listener_); // wakes the blocked accept
        thread_.join();
        WSACleanup();
    }
    std::vector<std::string> Requests()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    unsigned short port = 0;

private:
    void Serve()
    {
        for (;;) {
            SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET)
                return;
            // A client that stops reading a long reply, or never closes, must not hold this
            // thread, and with it the destructor's join, for ever.
            DWORD timeout = 10000;
            setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, (const char *)&timeout, sizeof(timeout));
            setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, (const char *)&timeout, sizeof(timeout));
            std::string head;
            char block[4096];
            while (head.find("\r\n\r\n") == std::string::npos) {
                int got = recv(client, block, sizeof(block), 0);
                if (got <= 0)
                    break;
                head.append(block, (size_t)got);
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(head);
            }
            std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                                std::to_string(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_;
            send(client, reply.data(), (int)reply.size(), 0);
            shutdown(client, SD_SEND);
            while (recv(client, block, sizeof(block), 0) > 0) {
            }
            closesocket(client);
        }
    }
    std::string body_;
    SOCKET listener_ = INVALID_SOCKET;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> requests_;
};


void DeleteMiscSettings()
{
    std::string key = std::string(kSettingsKeyRoot) + "misc";
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
}

void StoreDate(int month, int day, int year)
{
    WriteSettingInt("misc", "cnv_month", month);
    WriteSettingInt("misc", "cnv_day", day);
    WriteSettingInt("misc", "cnv_year", year);
}

std::string StoredDate()
{
    char month[16], day[16], year[16];
    ReadSettingString("misc", "cnv_month", month, "-", sizeof(month));
    ReadSettingString("misc", "cnv_day", day, "-", sizeof(day));
    ReadSettingString("misc", "cnv_year", year, "-", sizeof(year));
    return std::string(month) + "/" + day + "/" + year;
}

void SetToday(int month, int day, int year)
{
    SYSTEMTIME today = {};
    today.wYear = (WORD)year;
    today.wMonth = (WORD)month;
    today.wDay = (WORD)day;
    today.wHour = 14;
    SetClockForTesting(&today);
}

int FilesIn(const std::string &folder)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &entry);
    int count = 0;
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ++count;
    while (FindNextFileA(search, &entry));
    FindClose(search);
    return count;
}

class UpdateCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlobalSettings();
        DeleteMiscSettings();
        lstrcpynA(dataFolder, data.path.c_str(), sizeof(dataFolder));
        __atomic_store_n(&newVersionAvailable, 0, __ATOMIC_RELEASE);
        SetToday(3, 2, 2026);
    }
    void TearDown() override
    {
        EXPECT_TRUE(WaitForCheck());
        __atomic_store_n(&newVersionAvailable, 0, __ATOMIC_RELEASE);
        DeleteMiscSettings();
        SetClockForTesting(nullptr);
    }
    bool WaitForCheck(DWORD milliseconds = 30000)
    {
        for (DWORD waited = 0; waited < milliseconds; waited += 10) {
            if (__atomic_load_n(&updateCheckRunning, __ATOMIC_ACQUIRE) == 0)
                return true;
            Sleep(10);
        }
        return false;
    }
    // Runs one trigger of the check to its end; the number of requests the server saw.
    size_t Check(ReplyServer &server)
    {
        SetUpdateServerForTesting("127.0.0.1", server.port, 0);
        size_t before = server.Requests().size();
        CheckForUpdateIfDue();
        EXPECT_TRUE(WaitForCheck());
        return server.Requests().size() - before;
    }

    ScratchFolder temp;
    ScratchFolder data;
    ScopedEnvironment tmp{"TMP", temp.path.c_str()};
    ScopedEnvironment noProxy{"http_proxy", nullptr};
};

TEST_F(UpdateCheck, FirstCheckRunsAtOnceSendsTheVersionAndStoresTodayWhenNothingIsNew)
{
    ReplyServer server("current\r\n");
    gSettings.newVersionFrequency = 7;
    ASSERT_EQ(Check(server), 1u);
    std::string head = server.Requests()[0];
    EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET /cgi-bin/vlrversion.cgi?PROGVERS=1p0 HTTP/1.1");
    EXPECT_NE(head.find("\r\nUser-Agent: Velloran\r\n"), std::string::npos) << head;
    EXPECT_EQ(__atomic_load_n(&newVersionAvailable, __ATOMIC_ACQUIRE), 0);
    EXPECT_EQ(StoredDate(), "3/2/2026");
    EXPECT_EQ(FilesIn(temp.path), 0) << "the reply file is deleted";

    // The next check is due seven days later.
    EXPECT_EQ(Check(server), 0u);
    SetToday(3, 8, 2026);
    EXPECT_EQ(Check(server), 0u);
    SetToday(3, 9, 2026);
    EXPECT_EQ(Check(server), 1u);
    EXPECT_EQ(StoredDate(), "3/9/2026");
}

TEST_F(UpdateCheck, FrequencyZeroNeverAsks)
{
    ReplyServer server("newerEXE\r\n");
    gSettings.newVersionFrequency = 0;
    EXPECT_EQ(Check(server), 0u);
    gSettings.newVersionFrequency = -3;
    EXPECT_EQ(Check(server), 0u);
    EXPECT_EQ(StoredDate(), "-/-/-");
}

TEST_F(UpdateCheck, DueDateFollowsTheCalendar)
{
    ReplyServer server("current\r\n");
    gSettings.newVersionFrequency = 1;
    // The last day of a year is followed by the first of the next.
    StoreDate(12, 31, 2024);
    SetToday(12, 31, 2024);
    EXPECT_EQ(Check(server), 0u);
    SetToday(1, 1, 2025);
    EXPECT_EQ(Check(server), 1u);

    // 29 February of a year that is not a leap year counts as 1 January 2023 ...
    StoreDate(2, 29, 2023);
    SetToday(1, 2, 2023);
    EXPECT_EQ(Check(server), 1u);
    // ... but in a leap year it is a real date, followed by 1 March.
    StoreDate(2, 29, 2024);
    SetToday(1, 2, 2024);
    EXPECT_EQ(Check(server), 0u);
    SetToday(3, 1, 2024);
    EXPECT_EQ(Check(server), 1u);

    // A two-digit year is valid but kept as stored, so the check is due at once.
    StoreDate(6, 1, 24);
    SetToday(6, 1, 2024);
    EXPECT_EQ(Check(server), 1u);
}

TEST_F(UpdateCheck, ANewerVersionSetsTheFlagKeepsTheDateAndHoldsFurtherChecks)
{
    // The word lies in a line past the first read block.
    std::string body = std::string(9000, 'x') + "\r\nversion 9.9 newerEXE available\r\n";
    ReplyServer server(body);
    gSettings.newVersionFrequency = 7;
    StoreDate(1, 1, 2026);
    ASSERT_EQ(Check(server), 1u);
    EXPECT_EQ(__atomic_load_n(&newVersionAvailable, __ATOMIC_ACQUIRE), 1);
    EXPECT_EQ(StoredDate(), "1/1/2026");
    // While the notice is pending no check starts.
    EXPECT_EQ(Check(server), 0u);
}

TEST_F(UpdateCheck, AReplyPastSixteenKilobytesAnnouncesNothingAndLeavesNoFile)
{
    // The word sits at the end, so a check that read the whole reply would find it.
    struct SizeCase {
        size_t size;
        int announced;
    };
    const SizeCase cases[] = {{16384, 1}, {16385, 0}, {4 << 20, 0}};
    const std::string word = "\r\nnewerEXE\r\n";
    gSettings.newVersionFrequency = 7;
    for (const SizeCase &c : cases) {
        ReplyServer server(std::string(c.size - word.size(), 'x') + word);
        __atomic_store_n(&newVersionAvailable, 0, __ATOMIC_RELEASE);
        StoreDate(1, 1, 2026);
        ASSERT_EQ(Check(server), 1u) << c.size;
        EXPECT_EQ(__atomic_load_n(&newVersionAvailable, __ATOMIC_ACQUIRE), c.announced) << c.size;
        EXPECT_EQ(StoredDate(), c.announced ? "1/1/2026" : "3/2/2026") << c.size;
        EXPECT_EQ(FilesIn(temp.path), 0) << c.size;
    }
}

TEST_F(UpdateCheck, AFailedSendCountsAsACheckThatFoundNothing)
{
    gSettings.newVersionFrequency = 7;
    SetUpdateServerForTesting("127.0.0.1", ClosedLoopbackPort(), 0);
    CheckForUpdateIfDue();
    ASSERT_TRUE(WaitForCheck());
    EXPECT_EQ(__atomic_load_n(&newVersionAvailable, __ATOMIC_ACQUIRE), 0);
    EXPECT_EQ(StoredDate(), "3/2/2026");
    EXPECT_EQ(FilesIn(temp.path), 0);
}

TEST_F(UpdateCheck, WithoutAnyPlaceForTheReplyNoRequestIsMade)
{
    ReplyServer server("newerEXE\r\n");
    gSettings.newVersionFrequency = 7;
    ScopedEnvironment missingTemp("TMP", (temp.path + "missing\\").c_str());
    lstrcpynA(dataFolder, (data.path + "missing\\").c_str(), sizeof(dataFolder));
    DWORD start = GetTickCount();
    EXPECT_EQ(Check(server), 0u);
    // Six attempts on the data folder, a second apart.
    EXPECT_GE(GetTickCount() - start, 4500u);
    EXPECT_EQ(StoredDate(), "-/-/-");
    EXPECT_EQ(__atomic_load_n(&newVersionAvailable, __ATOMIC_ACQUIRE), 0);
}

TEST(UpdateCalendar, ValidDatesAndTheNextDay)
{
    struct DateCase {
        int month, day, year, valid;
    };
    const DateCase dates[] = {
        {2, 29, 2024, 1}, {2, 29, 2023, 0}, {2, 29, 1900, 0}, {2, 29, 2000, 1}, {2, 29, 24, 1}, {2, 29, 75, 0},
        {2, 29, 0, 1},    {12, 31, 2024, 1}, {4, 31, 2024, 0}, {4, 30, 2024, 1}, {13, 1, 2024, 0}, {0, 1, 2024, 0},
        {1, 0, 2024, 0},  {1, 1, -1, 0},
    };
    for (const DateCase &date : dates)
        EXPECT_EQ(IsValidDate(date.month, date.day, date.year), date.valid)
            << date.month << "/" << date.day << "/" << date.year;

    struct NextCase {
        int month, day, year, nextMonth, nextDay, nextYear;
    };
    const NextCase days[] = {
        {12, 31, 2024, 1, 1, 2025}, {2, 28, 2024, 2, 29, 2024}, {2, 29, 2024, 3, 1, 2024}, {2, 28, 2023, 3, 1, 2023},
        {4, 30, 2024, 5, 1, 2024},  {1, 15, 2024, 1, 16, 2024}, {2, 28, 24, 2, 29, 24},    {12, 31, 99, 1, 1, 100},
    };
    auto text = [](int month, int day, int year) {
        return std::to_string(month) + "/" + std::to_string(day) + "/" + std::to_string(year);
    };
    for (const NextCase &day : days) {
        int month = 0, next = 0, year = 0;
        GetNextDay(day.month, day.day, day.year, &month, &next, &year);
        EXPECT_EQ(text(month, next, year), text(day.nextMonth, day.nextDay, day.nextYear))
            << "after " << text(day.month, day.day, day.year);
    }
}

}  // namespace
