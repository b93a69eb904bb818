#pragma once
// What each answer of a VXI-11 gateway means to a program that called a
// board, and what a board's error means to a VXI-11 client: one table, read
// one way by the gateway kind of board and the other way by tm-gateway (the
// help's driver page shows the same table).

#include <span>

#include "vxi11/vxi11_codes.h"

namespace vxi11 {

// A row of the table. code is the gateway's error; the two rows with a
// negative code are what the connection itself can do.
struct ErrorRow {
    int code;
    const char* meaning;  // the gateway's word for it
    int iberr;            // what the call reports, as a board would
    bool relink;          // the link is made again once before the call gives up
    bool served;          // tm-gateway answers this code for a board's iberr
};

constexpr int kNoAnswer = -1;        // no reply within the timeout and the margin
constexpr int kConnectionLost = -2;  // refused, closed or reset by the gateway

std::span<const ErrorRow> errorTable();
// The row of a code; codes the table does not list answer EDVR.
const ErrorRow& errorRow(int code);
// The other way: the gateway error a server answers for a board's iberr
// (kDone: 0); an iberr no row serves is an I/O error (17).
int errorForIberr(int iberr);

}  // namespace vxi11
