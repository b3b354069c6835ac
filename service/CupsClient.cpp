// IPP requests to the local scheduler. The service runs as root, and the scheduler shows root
// every user's jobs with their states and reasons, so no user switch is needed. Only the
// attributes the job watch and the poll decision read are asked for, and only the jobs still
// in progress plus those the watch remembers, so the cost does not grow with the job history.
#include "CupsClient.h"

#include <cups/cups.h>

#include <algorithm>

namespace {

const char* const c_szLocalHost = "localhost";
const char* const c_szPrinterResource = "/printers/%s";
const char* const c_szJobResource = "/jobs/%d";
const char* const c_szRequestPath = "/";
const char* const c_szWhichJobsNotCompleted = "not-completed";
const char* const c_arrJobAttributes[] = {"job-id", "job-state", "job-state-reasons"};
const char* const c_arrPrinterAttributes[] = {"printer-state"};

// How often a waiting request looks at its deadline.
constexpr double c_dWaitSliceSeconds = 0.25;

bool IsSuccess(ipp_status_t status)
{
    return status <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

template <size_t N>
void RequestAttributes(ipp_t* pRequest, const char* const (&arrName)[N])
{
    ippAddStrings(pRequest, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(N), nullptr, arrName);
}

ipp_t* NewRequest(ipp_op_t operation, const char* szUriName, const char* szUri)
{
    ipp_t* pRequest = ippNewRequest(operation);
    ippAddString(pRequest, IPP_TAG_OPERATION, IPP_TAG_URI, szUriName, nullptr, szUri);
    ippAddString(pRequest, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return pRequest;
}

// The queue's URI on the local scheduler; the name is UTF-8 and percent-encoded, so any name
// the scheduler accepts reaches it unchanged whatever the locale.
bool PrinterUri(const QString& strQueue, char (&szUri)[HTTP_MAX_URI])
{
    return httpAssembleURIf(HTTP_URI_CODING_ALL, szUri, sizeof(szUri), "ipp", nullptr, c_szLocalHost, ippPort(),
                            c_szPrinterResource, strQueue.toUtf8().constData())
        >= HTTP_URI_STATUS_OK;
}

// Every job group of the response, in order.
QList<stCupsJob> ReadJobs(ipp_t* pResponse)
{
    QList<stCupsJob> listJob;
    ipp_attribute_t* pAttr = ippFirstAttribute(pResponse);
    while (pAttr) {
        while (pAttr && ippGetGroupTag(pAttr) != IPP_TAG_JOB)
            pAttr = ippNextAttribute(pResponse);
        if (!pAttr)
            break;
        stCupsJob job;
        for (; pAttr && ippGetGroupTag(pAttr) == IPP_TAG_JOB; pAttr = ippNextAttribute(pResponse)) {
            const char* szName = ippGetName(pAttr);
            if (!szName)
                continue;
            const QByteArray baName(szName);
            if (baName == "job-id" && ippGetValueTag(pAttr) == IPP_TAG_INTEGER) {
                job.iJobId = ippGetInteger(pAttr, 0);
            } else if (baName == "job-state" && ippGetValueTag(pAttr) == IPP_TAG_ENUM) {
                job.iState = ippGetInteger(pAttr, 0);
            } else if (baName == "job-state-reasons") {
                for (int i = 0; i < ippGetCount(pAttr); ++i)
                    job.listReason.append(QString::fromUtf8(ippGetString(pAttr, i, nullptr)));
            }
        }
        if (job.iJobId > 0)
            listJob.append(job);
    }
    return listJob;
}

} // namespace

CupsClient::CupsClient(const QString& strServer, int iPort)
    : m_baServer(strServer.toUtf8())
    , m_iPort(iPort)
{
}

CupsClient::~CupsClient()
{
    Disconnect();
}

http_t* CupsClient::Connection()
{
    if (m_pHttp)
        return m_pHttp;
    if (std::chrono::steady_clock::now() < m_tRetryAt)
        return nullptr;
    const char* szServer = m_baServer.isEmpty() ? cupsServer() : m_baServer.constData();
    const int iPort = m_iPort > 0 ? m_iPort : ippPort();
    m_pHttp = httpConnect2(szServer, iPort, nullptr, AF_UNSPEC, cupsEncryption(), 1, c_iConnectTimeoutMs, nullptr);
    if (!m_pHttp) {
        m_tRetryAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(c_iRetryPauseMs);
        return nullptr;
    }
    // The library waits in several steps per request (one of them a fixed second for a
    // "100 Continue"), so the bound is a deadline for the whole request, checked every slice.
    httpSetTimeout(m_pHttp, c_dWaitSliceSeconds, &CupsClient::KeepWaiting, this);
    return m_pHttp;
}

int CupsClient::KeepWaiting(http_t*, void* pClient)
{
    return std::chrono::steady_clock::now() < static_cast<CupsClient*>(pClient)->m_tRequestDeadline ? 1 : 0;
}

void CupsClient::Disconnect()
{
    if (m_pHttp)
        httpClose(m_pHttp);
    m_pHttp = nullptr;
}

ipp_t* CupsClient::Ask(ipp_t* pRequest)
{
    http_t* pHttp = Connection();
    if (!pHttp) {
        ippDelete(pRequest);
        return nullptr;
    }
    m_tRequestDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(c_iRequestTimeoutMs);
    ipp_t* pResponse = cupsDoRequest(pHttp, pRequest, c_szRequestPath);
    if (pResponse && IsSuccess(cupsLastError()))
        return pResponse;
    // A refusal (an unknown queue, a job purged from the history) is still an answer and
    // leaves the connection sound; no answer at all means the scheduler is gone or hung.
    if (!pResponse) {
        Disconnect();
        m_tRetryAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(c_iRetryPauseMs);
    }
    ippDelete(pResponse);
    return nullptr;
}

bool CupsClient::GetJobs(const QString& strQueue, const QList<int>& listKnownJobId, QList<stCupsJob>& listJob)
{
    listJob.clear();
    char szUri[HTTP_MAX_URI];
    if (!PrinterUri(strQueue, szUri))
        return false;
    ipp_t* pRequest = NewRequest(IPP_OP_GET_JOBS, "printer-uri", szUri);
    ippAddString(pRequest, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, c_szWhichJobsNotCompleted);
    RequestAttributes(pRequest, c_arrJobAttributes);
    ipp_t* pResponse = Ask(pRequest);
    if (!pResponse)
        return false;
    listJob = ReadJobs(pResponse);
    ippDelete(pResponse);

    for (int iJobId : listKnownJobId) {
        const bool bListed = std::any_of(listJob.cbegin(), listJob.cend(),
                                         [iJobId](const stCupsJob& job) { return job.iJobId == iJobId; });
        if (bListed)
            continue;
        char szJobUri[HTTP_MAX_URI];
        httpAssembleURIf(HTTP_URI_CODING_ALL, szJobUri, sizeof(szJobUri), "ipp", nullptr, c_szLocalHost, ippPort(),
                         c_szJobResource, iJobId);
        ipp_t* pJobRequest = NewRequest(IPP_OP_GET_JOB_ATTRIBUTES, "job-uri", szJobUri);
        RequestAttributes(pJobRequest, c_arrJobAttributes);
        ipp_t* pJobResponse = Ask(pJobRequest);
        if (!pJobResponse) {
            if (!m_pHttp) {
                listJob.clear();
                return false;
            }
            continue;
        }
        listJob.append(ReadJobs(pJobResponse));
        ippDelete(pJobResponse);
    }
    return true;
}

bool CupsClient::IsQueuePrinting(const QString& strQueue)
{
    char szUri[HTTP_MAX_URI];
    if (!PrinterUri(strQueue, szUri))
        return false;
    ipp_t* pRequest = NewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, "printer-uri", szUri);
    RequestAttributes(pRequest, c_arrPrinterAttributes);
    ipp_t* pResponse = Ask(pRequest);
    if (!pResponse)
        return false;
    ipp_attribute_t* pState = ippFindAttribute(pResponse, "printer-state", IPP_TAG_ENUM);
    const bool bPrinting = pState && ippGetInteger(pState, 0) == IPP_PSTATE_PROCESSING;
    ippDelete(pResponse);
    return bPrinting;
}
