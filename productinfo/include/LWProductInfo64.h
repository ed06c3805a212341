/* LWProductInfo64.dll: reads a product-information XML file into three strings.
 *
 *   <root>
 *     <ProductCode>{...}</ProductCode>
 *     <DisplayVersion>1.2.3</DisplayVersion>
 *     <Suite>standard</Suite>
 *   </root>
 *
 * Results of ProductInfo_FileLoad: 0 (all three fields filled), 2 (ERROR_FILE_NOT_FOUND: no such
 * file), 1465 (ERROR_XML_PARSE_ERROR: the document cannot be loaded, or ProductCode or
 * DisplayVersion is missing). On any result but 0 the record holds three null pointers. A missing
 * Suite is not a failure: "standard" is used.
 *
 * The strings belong to the library: release them with ProductInfo_Free only. The record itself
 * belongs to the caller. COM must be initialised on the calling thread. */
#ifndef LWPRODUCTINFO64_H
#define LWPRODUCTINFO64_H

#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef LWPRODUCTINFO_BUILD
#define LWPRODUCTINFO_API
#else
#define LWPRODUCTINFO_API __declspec(dllimport)
#endif

typedef struct ProductInfoRecord {
  wchar_t* lpszProductCode;    /* text of /root/ProductCode, or null */
  wchar_t* lpszDisplayVersion; /* text of /root/DisplayVersion, or null */
  wchar_t* lpszSuite;          /* text of /root/Suite, "standard" when absent, or null */
} ProductInfoRecord;

/* Fills *info from the file at path. info must point to a writable record. */
LWPRODUCTINFO_API uint32_t ProductInfo_FileLoad(const wchar_t* path, ProductInfoRecord* info);

/* Releases the three strings and sets the fields to null; info may be null, and the same record
 * may be released more than once. */
LWPRODUCTINFO_API void ProductInfo_Free(ProductInfoRecord* info);

/* For callers that load the library at run time (GetProcAddress). */
typedef uint32_t (*ProductInfo_FileLoad_t)(const wchar_t* path, ProductInfoRecord* info);
typedef void (*ProductInfo_Free_t)(ProductInfoRecord* info);

#ifdef __cplusplus
}
#endif

#endif /* LWPRODUCTINFO64_H */
