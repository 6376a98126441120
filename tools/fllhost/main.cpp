// fllhost.exe LIBRARY FUNCTION [ARG...]: loads the library in the
// project's host, calls one function with literal arguments and prints
// what came back.
//
// Arguments:
//   s:TEXT        character value (a word without a prefix is one too)
//   i:N           integer
//   n:X           number; its decimals are the digits after the point
//   l:true        logical (true, false, .T., .F., 1, 0)
//   o:            a new host object
//   @NAME         a variable by reference; made as false when new
//   @NAME=VALUE   the same, first set to VALUE (any of the forms above)
//   m:AREA:FIELD=TEXT   a memo field of the table in work area AREA, by
//                 reference, holding TEXT
//
// Output, one item per line:
//   result: TYPE VALUE     or "result: none" when the function sent none
//   var NAME = TYPE VALUE  each variable passed by reference
//   prop OBJECT.NAME = TYPE VALUE   each property of each new object
//   memo AREA:FIELD = C "TEXT"      each memo field passed
//   dialog: KIND "TEXT" [LABEL...]  each dialog asked for
//   error: NUMBER          the host error raised, if any
//   leaked: COUNT          handles left behind, if any
// Values print as C "text" (bytes outside printable ASCII as \xNN),
// I 2030, N 1.5, L .T., O 1, or the type letter alone for other types.
// Exit code: 0, 1 after a host error, 2 when the call could not be made.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "fllhost.h"

static void Usage()
{
    fprintf(stderr,
            "usage: fllhost LIBRARY FUNCTION [ARG...]\n"
            "  ARG: s:TEXT  i:N  n:X  l:true|false  o:  @NAME  @NAME=ARG  m:AREA:FIELD=TEXT\n");
}

// Prints text in quotes, bytes outside printable ASCII as \xNN.
static void PrintText(const char *text, uint32_t length)
{
    putchar('"');
    for (uint32_t i = 0; i < length; i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 32 && c < 127 && c != '"' && c != '\\')
            putchar(c);
        else
            printf("\\x%02X", c);
    }
    putchar('"');
}

static void PrintValue(const FoxValue &value)
{
    switch (value.type) {
    case 'C':
        printf("C ");
        PrintText(value.text != nullptr ? value.text : "", value.length);
        break;
    case 'I':
        printf("I %d", value.integer);
        break;
    case 'N':
        printf("N %.*f", int(value.length), value.number);
        break;
    case 'L':
        printf("L %s", value.length != 0 ? ".T." : ".F.");
        break;
    case 'O':
        printf("O %u", value.object);
        break;
    case 'M':
        printf("M %d", value.integer);
        break;
    default:
        printf("%c", value.type != 0 ? value.type : '?');
        break;
    }
}

// What the command line asked for besides the values themselves.
struct Passed {
    FoxValue args[MaxParameters];
    int count;
    const char *variables[MaxParameters];
    int variableCount;
    uint32_t objects[MaxParameters];
    int objectCount;
    int16_t memoAreas[MaxParameters];
    const char *memoFields[MaxParameters];
    int memoCount;
};

static bool ParseLogical(const char *text, bool *truth)
{
    if (lstrcmpiA(text, "true") == 0 || lstrcmpiA(text, ".t.") == 0 || strcmp(text, "1") == 0)
        *truth = true;
    else if (lstrcmpiA(text, "false") == 0 || lstrcmpiA(text, ".f.") == 0 || strcmp(text, "0") == 0)
        *truth = false;
    else
        return false;
    return true;
}

// A literal value (not a reference); false when it cannot be read.
static bool ParseLiteral(Host *host, char *text, Passed *passed, FoxValue *value)
{
    if (strncmp(text, "s:", 2) == 0) {
        *value = FoxString(text + 2);
    } else if (strncmp(text, "i:", 2) == 0) {
        *value = FoxInt(int32_t(strtol(text + 2, nullptr, 0)));
    } else if (strncmp(text, "n:", 2) == 0) {
        const char *point = strchr(text + 2, '.');
        uint32_t decimals = point != nullptr ? uint32_t(strlen(point + 1)) : 0;
        *value = FoxNumber(strtod(text + 2, nullptr), 10, decimals);
    } else if (strncmp(text, "l:", 2) == 0) {
        bool truth;
        if (!ParseLogical(text + 2, &truth))
            return false;
        *value = FoxLogical(truth);
    } else if (strcmp(text, "o:") == 0) {
        uint32_t object = HostNewObject(host);
        passed->objects[passed->objectCount++] = object;
        *value = FoxObject(object);
    } else {
        *value = FoxString(text);
    }
    return true;
}

// m:AREA:FIELD=TEXT
static bool ParseMemo(Host *host, char *text, Passed *passed, FoxValue *value)
{
    char *field = strchr(text + 2, ':');
    char *content = field != nullptr ? strchr(field, '=') : nullptr;
    if (field == nullptr || content == nullptr)
        return false;
    *field++ = '\0';
    *content++ = '\0';
    int16_t area = int16_t(atoi(text + 2));
    HostSetMemo(host, area, field, content, uint32_t(strlen(content)));
    passed->memoAreas[passed->memoCount] = area;
    passed->memoFields[passed->memoCount++] = field;
    *value = FoxField(area, field);
    return true;
}

static bool ParseArgument(Host *host, char *text, Passed *passed, FoxValue *value)
{
    if (strncmp(text, "m:", 2) == 0)
        return ParseMemo(host, text, passed, value);
    if (text[0] != '@')
        return ParseLiteral(host, text, passed, value);
    char *name = text + 1;
    char *initial = strchr(name, '=');
    if (initial != nullptr) {
        *initial++ = '\0';
        FoxValue start;
        if (!ParseLiteral(host, initial, passed, &start))
            return false;
        HostSetVariable(host, name, start);
    } else {
        FoxValue none;
        if (!HostGetVariable(host, name, &none))
            HostSetVariable(host, name, FoxLogical(false));
    }
    passed->variables[passed->variableCount++] = name;
    *value = FoxRef(name);
    return true;
}

static void PrintOutcome(Host *host, const Passed &passed, uint32_t error, const FoxValue &result)
{
    const HostCallInfo *info = HostLastCall(host);
    if (info->results > 0) {
        printf("result: ");
        PrintValue(result);
        printf("\n");
    } else {
        printf("result: none\n");
    }
    for (int i = 0; i < passed.variableCount; i++) {
        FoxValue value;
        if (HostGetVariable(host, passed.variables[i], &value)) {
            printf("var %s = ", passed.variables[i]);
            PrintValue(value);
            printf("\n");
        }
    }
    for (int i = 0; i < passed.objectCount; i++)
        for (int p = 0; p < HostPropertyCount(host, passed.objects[i]); p++) {
            const char *name = HostPropertyName(host, passed.objects[i], p);
            FoxValue value;
            HostGetPropertyValue(host, passed.objects[i], name, &value);
            printf("prop %u.%s = ", passed.objects[i], name);
            PrintValue(value);
            printf("\n");
        }
    for (int i = 0; i < passed.memoCount; i++) {
        FoxValue value;
        if (HostGetMemo(host, passed.memoAreas[i], passed.memoFields[i], &value)) {
            printf("memo %d:%s = ", passed.memoAreas[i], passed.memoFields[i]);
            PrintValue(value);
            printf("\n");
        }
    }
    for (int i = 0; i < HostDialogCount(host); i++) {
        const HostDialogRecord *dialog = HostDialogAt(host, i);
        printf("dialog: %u ", dialog->kind);
        PrintText(dialog->text, uint32_t(strlen(dialog->text)));
        for (int b = 0; b < 3; b++)
            if (dialog->labels[b][0] != '\0')
                printf(" [%s]", dialog->labels[b]);
        printf("\n");
    }
    if (error != 0)
        printf("error: %u\n", error);
    if (info->leakedHandles > 0)
        printf("leaked: %d\n", info->leakedHandles);
}

int main(int argc, char **argv)
{
    if (argc < 3 || argc - 3 > MaxParameters) {
        Usage();
        return 2;
    }
    Host *host = HostOpen(argv[1]);
    if (host == nullptr) {
        fprintf(stderr, "fllhost: cannot load %s: %s\n", argv[1], HostOpenError());
        return 2;
    }
    Passed passed = {};
    for (int i = 3; i < argc; i++)
        if (!ParseArgument(host, argv[i], &passed, &passed.args[passed.count++])) {
            fprintf(stderr, "fllhost: cannot read argument %s\n", argv[i]);
            Usage();
            HostClose(host);
            return 2;
        }
    FoxValue result;
    uint32_t error = HostCall(host, argv[2], passed.args, passed.count, &result);
    PrintOutcome(host, passed, error, result);
    bool ran = HostLastCall(host)->ran;
    HostClose(host);
    if (!ran)
        return 2;
    return error != 0 ? 1 : 0;
}
