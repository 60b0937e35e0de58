// Fills lineagetree's viewer template with a taxonomy.json as the program's
// --html option does: the JSON text, each "<" written as \u003c, in place of
// the template's one placeholder. Bytes are kept as they are.
//
//   node make_page.mjs TEMPLATE TAXONOMY_JSON OUTPUT_HTML

import fs from 'node:fs';
import { fileURLToPath } from 'node:url';

export const PLACEHOLDER = '/*@TAXONOMY_JSON@*/';

export function fillTemplate(template, json) {
  const at = template.indexOf(PLACEHOLDER);
  if (at < 0 || template.indexOf(PLACEHOLDER, at + 1) >= 0) {
    throw new Error(`the template must hold ${PLACEHOLDER} exactly once`);
  }
  const escaped = Buffer.from(json.toString('latin1').replaceAll('<', '\\u003c'), 'latin1');
  return Buffer.concat([template.subarray(0, at), escaped, template.subarray(at + PLACEHOLDER.length)]);
}

export function makePageFile(templatePath, jsonPath, outPath) {
  fs.writeFileSync(outPath, fillTemplate(fs.readFileSync(templatePath), fs.readFileSync(jsonPath)));
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const [templatePath, jsonPath, outPath] = process.argv.slice(2);
  if (!outPath) {
    console.error('usage: node make_page.mjs TEMPLATE TAXONOMY_JSON OUTPUT_HTML');
    process.exit(2);
  }
  makePageFile(templatePath, jsonPath, outPath);
}
