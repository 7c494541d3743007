/*
 * The type codes that name a message field's or a resource's kind of data.
 */
#ifndef _TYPE_CONSTANTS_H
#define _TYPE_CONSTANTS_H

#include <SupportDefs.h>

enum {
	B_ANY_TYPE = 'ANYT',
	B_BOOL_TYPE = 'BOOL',
	B_INT8_TYPE = 'BYTE',
	B_INT16_TYPE = 'SHRT',
	B_INT32_TYPE = 'LONG',
	B_INT64_TYPE = 'LLNG',
	B_FLOAT_TYPE = 'FLOT',
	B_DOUBLE_TYPE = 'DBLE',
	B_POINTER_TYPE = 'PNTR',
	B_STRING_TYPE = 'CSTR',
	B_RAW_TYPE = 'RAWT',
	B_MIME_STRING_TYPE = 'MIMS',
	B_POINT_TYPE = 'BPNT',
	B_RECT_TYPE = 'RECT',
	B_MESSAGE_TYPE = 'MSGG',
};

#endif // _TYPE_CONSTANTS_H
