#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

class IEKKeepAliveTimer;
class TEKXML;

// The result of every server call; every value but ekpcrOK is a failure.
enum TEKPCallRes : std::uint8_t
{
    ekpcrOK = 0,      // the exchange worked
    ekpcrHaltApp = 1, // there is no HTTP client
    ekpcrError = 2,   // anything else failed
};

// Bytes with a read position: a request body or an answer as it came.
class TEKStream
{
public:
    TEKStream() = default;
    explicit TEKStream(std::string bytes) : Bytes(std::move(bytes)) {}

    std::size_t Size() const { return Bytes.size(); }
    void Clear()
    {
        Bytes.clear();
        Position = 0;
    }
    std::string_view View() const { return Bytes; }

    std::string Bytes;
    std::size_t Position = 0;
};

// --- The HTTP client of the run ---------------------------------------------------
//
// One client serves every call of the run, so the connection is reused and the
// cookies the server sets go back with every later request. Calls never
// overlap: a call that starts while another one runs fails at once (code 2).

// Creates the client with the proxy values of the settings; always true.
bool CreateHttpClient();
// Releases the client; every later call ends with ekpcrHaltApp and code 1.
void DestroyHttpClient();
bool HttpClientExists();
// Time-outs of the client: connecting gives up after connectMs, an exchange
// after stallSeconds without a byte moving (10 s and 90 s unless set). Applies
// to the client now present and to later ones. For tests and tools.
void SetHttpTimeouts(long connectMs, long stallSeconds);

// "http://" host ":" port "/" path from the settings; a host that begins with
// "http://" or "https://" keeps its own scheme.
std::string ServerAddress();

// The main window's keep-alive timer, held still during every call and
// started again afterwards when it was running before. nullptr unregisters it
// (the window does so before it goes away). Not owned.
void SetKeepAliveTimer(IEKKeepAliveTimer *timer);

// --- Calls ---------------------------------------------------------------------------

// One POST of the request bytes as "text/xml". The response receives the whole
// body of a completed exchange, whatever the HTTP status, and is empty
// otherwise. Leaves the last call error 0, 1 or 2.
TEKPCallRes GetSrvResp(const TEKStream &request, TEKStream &response);
// The request in text form (windows-1250) and the answer parsed. The caller
// owns the document handed out, also on failure: it is handed out whenever
// the exchange completed. An "error" answer fails with the server's code and
// text.
TEKPCallRes GetSrvXML(const TEKXML &request, std::unique_ptr<TEKXML> &response);
// The request in text form and the raw answer, positioned at 0; handed out
// only on success. An "error" answer is not recognised here.
TEKPCallRes GetSrvStream(const TEKXML &request, std::unique_ptr<TEKStream> &response);
// Multipart upload of one file to the server address + "upload", streamed from
// disk: 0 on success, 2 on failure. A file that cannot be opened sends nothing.
int UploadFile(const std::string &fileName);
// The value of the first header line of the last response whose name matches
// in any letter case: the text after the ":", cut at the first ";", trimmed of
// spaces; empty when there is none.
std::string ResponseHeader(const std::string &name);

// --- The last call error ---------------------------------------------------------

// Stores the code with its formatted text ("WEK.", five digits, ": ", the
// code's text), or with an empty text for 0.
void SetLastCallError(int32_t code);
int32_t LastCallErrorCode();
std::string LastCallErrorText();
// Shows the last call error text to the user under the title (ShowUserError).
void ReportCallError(const std::string &title);
