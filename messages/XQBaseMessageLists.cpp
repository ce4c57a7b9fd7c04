#include "messages/XQBaseMessage.h"

// The list encoders are members so that every derived message reaches them;
// the encodings themselves live beside the records.

unsigned int XQBaseMessage::CalculatePrimaryKeyListSize(const std::vector<XQPrimaryKeyData>& l) const { return ::CalculatePrimaryKeyListSize(l); }
void XQBaseMessage::CopyPrimaryKeyListToBuffer(const std::vector<XQPrimaryKeyData>& l, unsigned char* b, unsigned long* c) const {
    ::CopyPrimaryKeyListToBuffer(l, b, c);
}
void XQBaseMessage::GetPrimaryKeyListFromBuffer(std::vector<XQPrimaryKeyData>& l, const unsigned char* b, unsigned long* c) {
    ::GetPrimaryKeyListFromBuffer(l, b, c);
}

unsigned int XQBaseMessage::CalculateForeignKeyListSize(const std::vector<XQForeignKeyData>& l) const { return ::CalculateForeignKeyListSize(l); }
void XQBaseMessage::CopyForeignKeyListToBuffer(const std::vector<XQForeignKeyData>& l, unsigned char* b, unsigned long* c) const {
    ::CopyForeignKeyListToBuffer(l, b, c);
}
void XQBaseMessage::GetForeignKeyListFromBuffer(std::vector<XQForeignKeyData>& l, const unsigned char* b, unsigned long* c) {
    ::GetForeignKeyListFromBuffer(l, b, c);
}

unsigned int XQBaseMessage::CalculateDataListSize(const std::vector<XQAttributeData>& l) const { return ::CalculateDataListSize(l); }
void XQBaseMessage::CopyDataListToBuffer(const std::vector<XQAttributeData>& l, unsigned char* b, unsigned long* c) const {
    ::CopyDataListToBuffer(l, b, c);
}
void XQBaseMessage::GetDataListFromBuffer(std::vector<XQAttributeData>& l, const unsigned char* b, unsigned long* c) {
    ::GetDataListFromBuffer(l, b, c);
}

unsigned int XQBaseMessage::CalculateTableListSize(const std::vector<XQTableNameData>& l) const { return ::CalculateTableListSize(l); }
void XQBaseMessage::CopyTableListToBuffer(const std::vector<XQTableNameData>& l, unsigned char* b, unsigned long* c) const {
    ::CopyTableListToBuffer(l, b, c);
}
void XQBaseMessage::GetTableListFromBuffer(std::vector<XQTableNameData>& l, const unsigned char* b, unsigned long* c) {
    ::GetTableListFromBuffer(l, b, c);
}

unsigned int XQBaseMessage::CalculateDPTableListSize(const std::vector<XQDPTableNameData>& l) const { return ::CalculateDPTableListSize(l); }
void XQBaseMessage::CopyDPTableListToBuffer(const std::vector<XQDPTableNameData>& l, unsigned char* b, unsigned long* c) const {
    ::CopyDPTableListToBuffer(l, b, c);
}
void XQBaseMessage::GetDPTableListFromBuffer(std::vector<XQDPTableNameData>& l, const unsigned char* b, unsigned long* c) {
    ::GetDPTableListFromBuffer(l, b, c);
}

unsigned int XQBaseMessage::CalculateColAttrListSize(const std::vector<XQColAttrData>& l) const { return ::CalculateColAttrListSize(l); }
void XQBaseMessage::CopyColAttrListToBuffer(const std::vector<XQColAttrData>& l, unsigned char* b, unsigned long* c) const {
    ::CopyColAttrListToBuffer(l, b, c);
}
void XQBaseMessage::GetColAttrListFromBuffer(std::vector<XQColAttrData>& l, const unsigned char* b, unsigned long* c) {
    ::GetColAttrListFromBuffer(l, b, c);
}

unsigned int XQBaseMessage::CalculateResultSetSize(const std::vector<XQResultSetData>& l) const { return ::CalculateResultSetSize(l); }
void XQBaseMessage::CopyResultSetToBuffer(const std::vector<XQResultSetData>& l, unsigned char* b, unsigned long* c) const {
    ::CopyResultSetToBuffer(l, b, c);
}
void XQBaseMessage::GetResultSetFromBuffer(std::vector<XQResultSetData>& l, const unsigned char* b, unsigned long* c, long rows) {
    ::GetResultSetFromBuffer(l, b, c, rows);
}

unsigned int XQBaseMessage::CalculateCfgParmListSize(const std::vector<XQCfgParm>& l) const { return ::CalculateCfgParmListSize(l); }
void XQBaseMessage::CopyCfgParmListToBuffer(const std::vector<XQCfgParm>& l, unsigned char* b, unsigned long* c) const {
    ::CopyCfgParmListToBuffer(l, b, c);
}
void XQBaseMessage::GetCfgParmListFromBuffer(std::vector<XQCfgParm>& l, const unsigned char* b, unsigned long* c) {
    ::GetCfgParmListFromBuffer(l, b, c);
}

unsigned int XQBaseMessage::CalculateCaptureSchemaListSize(const std::vector<XQSTRING>& l) const { return ::CalculateCaptureSchemaListSize(l); }
void XQBaseMessage::CopyCaptureSchemaListToBuffer(const std::vector<XQSTRING>& l, unsigned char* b, unsigned long* c) const {
    ::CopyCaptureSchemaListToBuffer(l, b, c);
}
void XQBaseMessage::GetCaptureSchemaListFromBuffer(std::vector<XQSTRING>& l, const unsigned char* b, unsigned long* c) {
    ::GetCaptureSchemaListFromBuffer(l, b, c);
}

unsigned int XQBaseMessage::CalculateRfcFieldDescListSize(const std::vector<XQRfcFieldDesc>& l) const { return ::CalculateRfcFieldDescListSize(l); }
void XQBaseMessage::CopyRfcFieldDescListToBuffer(const std::vector<XQRfcFieldDesc>& l, unsigned char* b, unsigned long* c) const {
    ::CopyRfcFieldDescListToBuffer(l, b, c);
}
void XQBaseMessage::GetRfcFieldDescListFromBuffer(std::vector<XQRfcFieldDesc>& l, const unsigned char* b, unsigned long* c) {
    ::GetRfcFieldDescListFromBuffer(l, b, c);
}

unsigned int XQBaseMessage::CalculateRfcStElemDescListSize(const std::vector<XQRfcStElemDesc>& l) const { return ::CalculateRfcStElemDescListSize(l); }
void XQBaseMessage::CopyRfcStElemDescListToBuffer(const std::vector<XQRfcStElemDesc>& l, unsigned char* b, unsigned long* c) const {
    ::CopyRfcStElemDescListToBuffer(l, b, c);
}
void XQBaseMessage::GetRfcStElemDescListFromBuffer(std::vector<XQRfcStElemDesc>& l, const unsigned char* b, unsigned long* c) {
    ::GetRfcStElemDescListFromBuffer(l, b, c);
}

unsigned int XQBaseMessage::CalculateBapiParamListSize(const std::vector<XQBapiParam>& l) const { return ::CalculateBapiParamListSize(l); }
void XQBaseMessage::CopyBapiParamListToBuffer(const std::vector<XQBapiParam>& l, unsigned char* b, unsigned long* c) const {
    ::CopyBapiParamListToBuffer(l, b, c);
}
void XQBaseMessage::GetBapiParamListFromBuffer(std::vector<XQBapiParam>& l, const unsigned char* b, unsigned long* c) {
    ::GetBapiParamListFromBuffer(l, b, c);
}

unsigned int XQBaseMessage::CalculateBOBapiListSize(const std::vector<XQBOBapi>& l) const { return ::CalculateBOBapiListSize(l); }
void XQBaseMessage::CopyBOBapiListToBuffer(const std::vector<XQBOBapi>& l, unsigned char* b, unsigned long* c) const {
    ::CopyBOBapiListToBuffer(l, b, c);
}
void XQBaseMessage::GetBOBapiListFromBuffer(std::vector<XQBOBapi>& l, const unsigned char* b, unsigned long* c) {
    ::GetBOBapiListFromBuffer(l, b, c);
}

unsigned int XQBaseMessage::CalculateBONodeListSize(const std::vector<XQBONode>& l) const { return ::CalculateBONodeListSize(l); }
void XQBaseMessage::CopyBONodeListToBuffer(const std::vector<XQBONode>& l, unsigned char* b, unsigned long* c) const {
    ::CopyBONodeListToBuffer(l, b, c);
}
void XQBaseMessage::GetBONodeListFromBuffer(std::vector<XQBONode>& l, const unsigned char* b, unsigned long* c) {
    ::GetBONodeListFromBuffer(l, b, c);
}

unsigned int XQBaseMessage::CalculateBONameListSize(const std::vector<XQBOName>& l) const { return ::CalculateBONameListSize(l); }
void XQBaseMessage::CopyBONameListToBuffer(const std::vector<XQBOName>& l, unsigned char* b, unsigned long* c) const {
    ::CopyBONameListToBuffer(l, b, c);
}
void XQBaseMessage::GetBONameListFromBuffer(std::vector<XQBOName>& l, const unsigned char* b, unsigned long* c) {
    ::GetBONameListFromBuffer(l, b, c);
}

unsigned int XQBaseMessage::CalculateLPZDataListSize(const std::vector<XQLPZData>& l) const { return ::CalculateLPZDataListSize(l); }
void XQBaseMessage::CopyLPZDataListToBuffer(const std::vector<XQLPZData>& l, unsigned char* b, unsigned long* c) const {
    ::CopyLPZDataListToBuffer(l, b, c);
}
void XQBaseMessage::GetLPZDataListFromBuffer(std::vector<XQLPZData>& l, const unsigned char* b, unsigned long* c) {
    ::GetLPZDataListFromBuffer(l, b, c);
}
