// The XML library's own SAX2 parse of a file, the peer of the toolbox's XML readers: a new reader
// each time, as the toolbox's parser makes one per document, and the caller's (empty) handler.
#pragma once

#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>

#include <memory>
#include <string>

namespace kova::bench
{

// False when the document had errors.
inline bool ParseWithXercesSAX2(const std::u16string& inPath, xercesc::DefaultHandler& ioHandler)
{
    std::unique_ptr<xercesc::SAX2XMLReader> reader(xercesc::XMLReaderFactory::createXMLReader());
    reader->setContentHandler(&ioHandler);
    reader->setErrorHandler(&ioHandler);
    xercesc::LocalFileInputSource source(inPath.c_str());
    reader->parse(source);
    return reader->getErrorCount() == 0;
}

} // namespace kova::bench
