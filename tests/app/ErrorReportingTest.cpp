#include "TestSupport.h"
class ErrorReportingTest : public QObject { Q_OBJECT };
VANTOR_TEST_MAIN(ErrorReportingTest)
#include "ErrorReportingTest.moc"
