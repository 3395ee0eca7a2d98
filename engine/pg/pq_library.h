#pragma once
// The PostgreSQL client library, loaded when a server is first used rather
// than when the program starts: most runs only read table files, and libpq
// brings a dozen more libraries (Kerberos, LDAP, TLS) with it.
//
// Code that talks to a server calls Pq().PQexec(...) and the like: the same
// functions under the same names, reached through the loaded library.
#include <libpq-fe.h>

#include <memory>
#include <string>

namespace tarnel::pg {

#define TARNEL_PQ_FUNCTIONS(X) \
    X(PQcancel) X(PQclear) X(PQcmdTuples) X(PQconnectdb) X(PQconnectdbParams) \
    X(PQconnectionNeedsPassword) X(PQconninfo) X(PQconninfoFree) X(PQconninfoParse) \
    X(PQconsumeInput) X(PQerrorMessage) X(PQescapeIdentifier) X(PQescapeLiteral) X(PQexec) \
    X(PQexecParams) X(PQfinish) X(PQfreeCancel) X(PQfreemem) X(PQgetCancel) X(PQgetResult) \
    X(PQgetisnull) X(PQgetlength) X(PQgetvalue) X(PQisBusy) X(PQnfields) X(PQntuples) \
    X(PQputCopyData) X(PQputCopyEnd) X(PQreset) X(PQresultErrorField) X(PQresultErrorMessage) \
    X(PQresultStatus) X(PQsendQuery) X(PQsetClientEncoding) X(PQsocket) X(PQstatus) \
    X(PQtransactionStatus)

struct PqLibrary {
#define TARNEL_PQ_POINTER(name) decltype(&::name) name = nullptr;
    TARNEL_PQ_FUNCTIONS(TARNEL_PQ_POINTER)
#undef TARNEL_PQ_POINTER
    void* handle = nullptr;
};

// The client library file the program loads.
inline constexpr const char* kPqLibraryName = "libpq.so.5";

// Loads a client library by file name; throws EngineError naming it when it
// is missing or lacks a function. The library stays loaded.
std::unique_ptr<PqLibrary> LoadPqLibrary(const std::string& fileName);

// The client library, loaded on first use (kPqLibraryName). A failure is
// thrown again on every call, so each server use reports it.
const PqLibrary& Pq();

} // namespace tarnel::pg
